#include "BrandIcon.h"

#include "Brand.h"
#include "Studio.h"
#include "Symbols.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <cmath>

namespace quorel {

namespace {

constexpr const char* decorationProperty = "quorelDecoration";

// What assistive technologies get for decoration: no role, no text, no children, not showing.
class DecorationAccessible : public QAccessibleWidget {
public:
    explicit DecorationAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}

    QString text(QAccessible::Text) const override { return {}; }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = true;
        return s;
    }
    QStringList actionNames() const override { return {}; }
};

QAccessibleInterface* decorationFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget && widget->property(decorationProperty).toBool()) return new DecorationAccessible(widget);
    return nullptr;
}

}  // namespace

namespace Decoration {

void mark(QWidget* widget)
{
    static const bool installed = [] {
        QAccessible::installFactory(decorationFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(decorationProperty, true);
    widget->setFocusPolicy(Qt::NoFocus);
}

bool isDecoration(const QWidget* widget)
{
    return widget && widget->property(decorationProperty).toBool();
}

}  // namespace Decoration

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

bool BrandIcon::showsIcon() const
{
    return iconAllowed_ && Brand::source().has_value();
}

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
    Symbols::draw(painter, QStringLiteral("waveform"), frame.adjusted(inset, inset, -inset, -inset),
                  Studio::violet());
}

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
