#include "SidebarBrandIcon.h"

#include "Brand.h"
#include "Decoration.h"

#include <QPainter>

#include <cmath>

namespace quorel {

SidebarBrandIcon::SidebarBrandIcon(qreal size, QWidget* parent) : QWidget(parent), size_(size)
{
    Decoration::mark(this);
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
}

QSize SidebarBrandIcon::sizeHint() const
{
    const int side = int(std::ceil(size_));
    return {side, side};
}

void SidebarBrandIcon::paintEvent(QPaintEvent*)
{
    const qreal dpr = devicePixelRatioF();
    if (cache_.isNull() || cacheRatio_ != dpr) {
        // The mark with its shadow reaches past the square; draw it unclipped into a larger image.
        const qreal extra = 16;
        const int px = int(std::ceil((size_ + 2 * extra) * dpr));
        cache_ = QImage(px, px, QImage::Format_ARGB32_Premultiplied);
        cache_.setDevicePixelRatio(dpr);
        cache_.fill(Qt::transparent);
        QPainter p(&cache_);
        Brand::drawPlateMark(p, QRectF(extra, extra, size_, size_));
        cacheRatio_ = dpr;
    }
    QPainter painter(this);
    const qreal extra = 16;
    painter.drawImage(QPointF(width() / 2.0 - size_ / 2 - extra, height() / 2.0 - size_ / 2 - extra), cache_);
}

}  // namespace quorel
