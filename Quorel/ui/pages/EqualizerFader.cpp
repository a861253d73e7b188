#include "EqualizerFader.h"

#include "SliderPainter.h"

#include <QPainter>

namespace quorel {

EqualizerFader::EqualizerFader(QWidget* parent) : StudioSlider(Qt::Vertical, parent)
{
    setValueRange(-12, 12);
    setStep(1);
    setBipolar(true);
    setCompact(true);
    setUnit(QStringLiteral("dB"));
}

void EqualizerFader::paintEvent(QPaintEvent*)
{
    const Key key{size(), devicePixelRatioF(), nativeValue(), isEnabled(), hasFocus()};
    if (drawing_.isNull() || !(key == key_)) {
        key_ = key;
        ++renders_;
        drawing_ = QPixmap((QSizeF(size()) * key.ratio).toSize());
        drawing_.setDevicePixelRatio(key.ratio);
        drawing_.fill(Qt::transparent);
        QPainter painter(&drawing_);
        SliderPaintState state;
        state.bar = barRect();
        state.knob = knobRect();
        state.value = nativeValue();
        state.lo = lower();
        state.hi = upper();
        state.vertical = true;
        state.bipolar = isBipolar();
        state.cyan = isCyan();
        state.compact = isCompact();
        state.enabled = isEnabled();
        state.focused = hasFocus();
        SliderPainter::draw(painter, state);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, drawing_);
}

}  // namespace quorel
