#pragma once

#include "Plate.h"

#include <vector>

class QHBoxLayout;

namespace quorel {

class SelectableButton;

// A row of segments on a dark plate, of which at most one stands selected. Two looks:
// `raised`: segments share the width equally, 11 px semibold, the selected one on a raised
//           rounded plate with a hairline (the A/B comparison);
// `tinted`: segments as wide as their text, 10 px medium, the selected one in violet on a faint
//           violet plate (a choice among a few values).
// The owner sets the segments' texts and which one is selected; clicks arrive as `chosen`.
class SegmentedControl : public Plate {
    Q_OBJECT
public:
    enum class Look { raised, tinted };

    explicit SegmentedControl(Look look, QWidget* parent = nullptr);

    // Adds a segment at the end, with `symbol` drawn before its text when given.
    SelectableButton* addSegment(const QString& symbol = QString());
    SelectableButton* segment(int index) const { return segments_.at(size_t(index)); }
    int count() const { return int(segments_.size()); }
    // Selects segment `index` alone; -1 selects none.
    void select(int index);

signals:
    void chosen(int index);

private:
    Look look_;
    QHBoxLayout* row_;
    std::vector<SelectableButton*> segments_;
};

}  // namespace quorel
