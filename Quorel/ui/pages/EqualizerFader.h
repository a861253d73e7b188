#pragma once

#include "StudioSlider.h"

#include <QPixmap>

namespace quorel {

// An equalizer fader: a compact bipolar vertical StudioSlider that keeps its drawing in a
// pixmap and draws it again only when what it shows changes (value, size, enabled, focus,
// pixel ratio). The live spectrum, which repaints 30 times a second, lies over the faders and
// draws their pictures itself (see EqualizerSpectrum); pictureChanged() tells it when to.
class EqualizerFader : public StudioSlider {
    Q_OBJECT
public:
    explicit EqualizerFader(QWidget* parent = nullptr);

    // The fader's drawing at its size and the pixel ratio of its screen, made again first when
    // what it shows has changed.
    const QPixmap& picture();
    int renders() const { return renders_; }  // times the drawing was made (tests, benchmarks)

signals:
    // What the fader shows may have changed: its value, focus, enabled state, size, place or
    // whether it is shown.
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

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
