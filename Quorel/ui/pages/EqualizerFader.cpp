#include "EqualizerFader.h"

#include "SliderPainter.h"

#include <QEvent>
#include <QPainter>

namespace quorel {

EqualizerFader::EqualizerFader(QWidget* parent) : StudioSlider(Qt::Vertical, parent)
{
    setValueRange(-12, 12);
    setStep(1);
    setBipolar(true);
    setCompact(true);
    setUnit(QStringLiteral("dB"));
    connect(this, &QAbstractSlider::valueChanged, this, &EqualizerFader::pictureChanged);
}

bool EqualizerFader::event(QEvent* event)
{
    const bool handled = StudioSlider::event(event);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
    case QEvent::EnabledChange:
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::ShowToParent:
    case QEvent::HideToParent: emit pictureChanged(); break;
    default: break;
    }
    return handled;
}

const QPixmap& EqualizerFader::picture()
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
    return drawing_;
}

void EqualizerFader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture());
}

}  // namespace quorel
