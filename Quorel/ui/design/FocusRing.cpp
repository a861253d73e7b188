#include "FocusRing.h"

#include "Studio.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>

namespace quorel {

QColor FocusRing::colour()
{
    return Studio::violet();
}

void FocusRing::draw(QPainter& painter, const QRectF& bounds, qreal radius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1.0);
    painter.setBrush(Qt::NoBrush);
    const qreal half = width / 2;
    const QRectF ring = bounds.adjusted(half, half, -half, -half);
    painter.setPen(QPen(colour(), width));
    painter.drawRoundedRect(ring, std::max<qreal>(0, radius - half), std::max<qreal>(0, radius - half));
    const QRectF gap = bounds.adjusted(width + 0.5, width + 0.5, -width - 0.5, -width - 0.5);
    painter.setPen(QPen(Studio::withOpacity(Studio::background(), 0.85), 1));
    painter.drawRoundedRect(gap, std::max<qreal>(0, radius - width - 0.5), std::max<qreal>(0, radius - width - 0.5));
    painter.restore();
}

void FocusRing::drawIfFocused(QPainter& painter, const QWidget& widget, qreal radius)
{
    if (widget.hasFocus())
        draw(painter, QRectF(widget.rect()), radius);
}

}  // namespace quorel
