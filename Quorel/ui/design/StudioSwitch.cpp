#include "StudioSwitch.h"

#include "FocusRing.h"
#include "Studio.h"

#include <QPainter>
#include <QPainterPath>

namespace quorel {

StudioSwitch::StudioSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
}

void StudioSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.4);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = bounds.height() / 2;
    QPainterPath track;
    track.addRoundedRect(bounds, radius, radius);
    if (isChecked()) {
        painter.fillPath(track, Studio::gradient(bounds));
    } else {
        painter.fillPath(track, Studio::raised());
        painter.setPen(QPen(Studio::line(), 1));
        painter.drawPath(track);
    }
    const qreal knob = bounds.height() - 4;
    const qreal x = isChecked() ? bounds.right() - 2 - knob : bounds.left() + 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? Studio::text() : Studio::secondary());
    painter.drawEllipse(QRectF(x, bounds.top() + 2, knob, knob));
    FocusRing::drawIfFocused(painter, *this, height() / 2.0);
}

}  // namespace quorel
