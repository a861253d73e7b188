#include "BrandIcon.h"

#include "Brand.h"
#include "Decoration.h"
#include "Studio.h"
#include "Symbols.h"

#include <QPainter>

#include <cmath>

namespace quorel {

BrandIcon::BrandIcon(qreal size, QWidget* parent) : QWidget(parent), size_(size)
{
    Decoration::mark(this);
    const int side = int(std::ceil(size));
    setFixedSize(side, side);
}

void BrandIcon::setIconAvailable(bool available)
{
    iconAllowed_ = available;
    update();
}

bool BrandIcon::showsIcon() const { return iconAllowed_ && Brand::source().has_value(); }

QSize BrandIcon::sizeHint() const
{
    const int side = int(std::ceil(size_));
    return {side, side};
}

void BrandIcon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF frame(width() / 2.0 - size_ / 2, height() / 2.0 - size_ / 2, size_, size_);
    if (showsIcon()) {
        const qreal dpr = devicePixelRatioF();
        const QImage& src = *Brand::source();
        // Fit, aspect kept, scaled once at the device resolution with a smooth filter.
        const QSizeF fitted = QSizeF(src.size()).scaled(frame.size(), Qt::KeepAspectRatio);
        const QSize px(std::max(1, int(std::lround(fitted.width() * dpr))),
                       std::max(1, int(std::lround(fitted.height() * dpr))));
        if (cache_.size() != px) cache_ = src.scaled(px, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QRectF target(frame.center().x() - fitted.width() / 2, frame.center().y() - fitted.height() / 2,
                            fitted.width(), fitted.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, cache_);
        return;
    }
    const qreal inset = 0.2 * size_;
    Symbols::draw(painter, QStringLiteral("waveform"), frame.adjusted(inset, inset, -inset, -inset), Studio::violet());
}

}  // namespace quorel
