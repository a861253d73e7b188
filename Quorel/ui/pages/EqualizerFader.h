#pragma once

#include "StudioSlider.h"

#include <QPixmap>

namespace quorel {

// An equalizer fader: a compact bipolar vertical StudioSlider that keeps its drawing in a
// pixmap and draws it again only when what it shows changes (value, size, enabled, focus,
// pixel ratio). The live spectrum behind it repaints 30 times a second, and each of those
// repaints goes through every fader in front of it.
class EqualizerFader : public StudioSlider {
    Q_OBJECT
public:
    explicit EqualizerFader(QWidget* parent = nullptr);

    int renders() const { return renders_; }  // times the drawing was made (tests, benchmarks)

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Key {
        QSize size;
        qreal ratio = 0;
        double value = 0;
        bool enabled = false;
        bool focused = false;
        bool operator==(const Key&) const = default;
    };
    QPixmap drawing_;
    Key key_;
    int renders_ = 0;
};

}  // namespace quorel
