#include "BandedFill.h"

#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace quorel::BandedFill {

namespace {
constexpr qreal bandRows = 16;
}

void drawRoundedRect(QPainter& painter, const QRectF& rect, qreal radius)
{
    const qreal ratio = painter.device()->devicePixelRatioF();
    const qreal band = bandRows / ratio;
    const qreal left = std::floor(rect.left()) - 1;
    const qreal width = std::ceil(rect.width()) + 3;
    for (qreal y = std::floor(rect.top() * ratio) / ratio; y < rect.bottom(); y += band) {
        painter.setClipRect(QRectF(left, y, width, band));
        painter.drawRoundedRect(rect, radius, radius);
    }
    painter.setClipping(false);
}

}  // namespace quorel::BandedFill
