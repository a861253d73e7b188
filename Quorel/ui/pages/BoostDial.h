#pragma once

#include <QWidget>

class QLabel;

namespace quorel {

class StudioButton;
class StudioSlider;

// The Boost gain on a 270 degree gauge (0 to 12 dB, a value arc, 37 ticks and a raised knob
// with the readout) above a row of a minus button, a half-decibel slider and a plus button.
// The gauge takes no input and offers nothing to assistive technologies. The dial holds no
// value of its own: the owner shows one with setValue() and learns of the user's changes
// through valueWritten(), which the buttons emit on every press (also at the ends of the
// range) and the slider by its own rule.
class BoostDial : public QWidget {
    Q_OBJECT
public:
    explicit BoostDial(int size = 164, QWidget* parent = nullptr);

    float value() const { return value_; }
    void setValue(float decibels);
    int gaugeSize() const { return size_; }

    QWidget* gauge() const { return gauge_; }
    StudioButton* minusButton() const { return minus_; }
    StudioButton* plusButton() const { return plus_; }
    StudioSlider* slider() const { return slider_; }
    // The readout as drawn ("+6.5") and the unit line.
    QString readoutText() const;
    QString unitText() const;

    void refreshTexts();

signals:
    void valueWritten(float decibels);

private:
    int size_;
    float value_ = 0;
    QWidget* gauge_;
    StudioButton* minus_;
    StudioSlider* slider_;
    StudioButton* plus_;
};

}  // namespace quorel
