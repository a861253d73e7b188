#pragma once

#include "SegmentedControl.h"

namespace quorel {

class BoostModel;
class SelectableButton;

// The two-segment A/B switch "Original" / "Processed". Choosing a segment sets the root model's
// processed flag and hands the current settings with it to the engine controller at once (no
// debounce, nothing stored). Follows the flag and the language live.
class ComparisonSwitch : public SegmentedControl {
    Q_OBJECT
public:
    explicit ComparisonSwitch(BoostModel& model, QWidget* parent = nullptr);

    SelectableButton* originalSegment() const { return original_; }
    SelectableButton* processedSegment() const { return processed_; }

    void refresh();

private:
    void choose(bool processed);

    BoostModel& model_;
    SelectableButton* original_;
    SelectableButton* processed_;
};

}  // namespace quorel
