#include "Brand.h"

#include "ImageEffects.h"
#include "Studio.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace quorel {

const std::optional<QImage>& Brand::source()
{
    static const std::optional<QImage> image = []() -> std::optional<QImage> {
        QImage loaded(QString::fromLatin1(iconResource));
        if (loaded.isNull()) return std::nullopt;
        return loaded;
    }();
    return image;
}

std::array<QRectF, 5> Brand::markBars(qreal s, const QRectF& rect)
{
    const qreal w = 0.135 * s;
    const qreal g = 0.06 * s;
    const qreal t = 5 * w + 4 * g;
    qreal x = rect.center().x() - t / 2;
    std::array<QRectF, 5> bars;
    for (size_t i = 0; i < bars.size(); ++i) {
        const qreal h = std::max(barHeights[i] * 0.78 * s, w);
        bars[i] = QRectF(x, rect.center().y() - h / 2, w, h);
        x += w + g;
    }
    return bars;
}

void Brand::drawMark(QPainter& painter, qreal s, const QRectF& rect, const QColor& colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    for (const QRectF& bar : markBars(s, rect)) {
        const qreal r = bar.width() / 2;
        painter.drawRoundedRect(bar, r, r);
    }
    painter.restore();
}

QImage Brand::templateImage(qreal s, qreal devicePixelRatio)
{
    const int px = std::max(1, int(std::lround(s * devicePixelRatio)));
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    image.setText(QStringLiteral("Description"), QStringLiteral("Quorel"));
    QPainter painter(&image);
    drawMark(painter, s, QRectF(0, 0, s, s), Qt::black);
    return image;
}

std::optional<QPixmap> Brand::image(qreal s, qreal devicePixelRatio)
{
    const auto& src = source();
    if (!src) return std::nullopt;
    const int px = std::max(1, int(std::lround(s * devicePixelRatio)));
    QPixmap pixmap = QPixmap::fromImage(src->scaled(px, px, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

Brand::PlateGeometry Brand::plateGeometry(qreal s)
{
    PlateGeometry g{};
    g.cornerRadius = 0.24 * s;
    g.glowRadius = 0.95 * s;
    g.barWidth = 0.092 * s;
    g.barSpacing = 0.045 * s;
    g.rowWidth = 5 * g.barWidth + 4 * g.barSpacing;
    g.barShadowRadius = 0.055 * s;
    qreal x = s / 2 - g.rowWidth / 2;
    for (size_t i = 0; i < 5; ++i) {
        g.barHeight[i] = 0.52 * s * barHeights[i];
        g.bars[i] = QRectF(x, s / 2 - g.barHeight[i] / 2, g.barWidth, g.barHeight[i]);
        x += g.barWidth + g.barSpacing;
    }
    return g;
}

namespace {

QPainterPath rounded(const QRectF& r, qreal radius)
{
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

// A 1-unit-wide outline drawn wholly inside the rounded rectangle.
void innerOutline(QPainter& painter, const QRectF& r, qreal radius, qreal width, const QBrush& brush)
{
    const qreal h = width / 2;
    painter.setPen(QPen(brush, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(r.adjusted(h, h, -h, -h), std::max<qreal>(radius - h, 0), std::max<qreal>(radius - h, 0));
}

// Paints the plate and its overlays (without the shadows) into a square of side s at the origin.
void paintPlate(QPainter& painter, qreal s)
{
    const QRectF square(0, 0, s, s);
    const auto g = Brand::plateGeometry(s);
    const QPainterPath plate = rounded(square, g.cornerRadius);

    QLinearGradient base(square.topLeft(), square.bottomRight());
    base.setColorAt(0, Studio::rgb(0.39, 0.22, 0.74));
    base.setColorAt(0.5, Studio::rgb(0.16, 0.08, 0.35));
    base.setColorAt(1, Studio::rgb(0.09, 0.05, 0.22));
    painter.fillPath(plate, base);

    QRadialGradient glow(square.topLeft(), g.glowRadius);
    glow.setColorAt(0, Studio::withOpacity(Studio::violet(), 0.5));
    glow.setColorAt(1, Studio::withOpacity(Studio::violet(), 0.0));
    painter.fillPath(plate, glow);

    QLinearGradient rim(square.topLeft(), square.bottomRight());
    rim.setColorAt(0, Studio::rgb(1, 1, 1, 0.7));
    rim.setColorAt(0.5, Studio::withOpacity(Studio::violet(), 0.2));
    rim.setColorAt(1, Studio::withOpacity(Studio::violet(), 0.65));
    innerOutline(painter, square, g.cornerRadius, 1, rim);

    innerOutline(painter, square.adjusted(2, 2, -2, -2), g.cornerRadius - 2, 0.5, Studio::rgb(1, 1, 1, 0.08));
}

void paintBars(QPainter& painter, qreal s)
{
    const auto g = Brand::plateGeometry(s);
    for (size_t i = 0; i < 5; ++i) {
        const QRectF bar = g.bars[i];
        const qreal r = bar.width() / 2;
        QLinearGradient fill(bar.topLeft(), bar.bottomRight());
        fill.setColorAt(0, Qt::white);
        fill.setColorAt(1, i == 4 ? Studio::cyan() : Studio::rgb(0.79, 0.70, 1.0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(bar, r, r);
        innerOutline(painter, bar, r, 0.5, Studio::rgb(1, 1, 1, 0.5));
    }
}

}  // namespace

void Brand::drawPlateMark(QPainter& painter, const QRectF& rect)
{
    const qreal s = std::min(rect.width(), rect.height());
    if (s <= 0) return;
    // Pixels per logical unit on the target, so the layers are made at the final resolution.
    const QTransform t = painter.worldTransform();
    const qreal deviceRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const qreal scale = std::max<qreal>(1.0, std::hypot(t.m11(), t.m12())) * deviceRatio;

    const qreal margin = std::ceil(8 + 3 * 0.055 * s);  // room for both shadows
    const int px = int(std::ceil((s + 2 * margin) * scale));
    auto layer = [&](auto paint) {
        QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        p.translate(margin, margin);
        paint(p);
        return image;
    };

    const QImage bars = layer([&](QPainter& p) { paintBars(p, s); });
    const QImage barShadow =
        ImageEffects::shadow(bars, Studio::withOpacity(Studio::violet(), 0.55), 0.055 * s * scale, QPointF(0, 0));
    QImage mark = layer([&](QPainter& p) { paintPlate(p, s); });
    {
        QPainter p(&mark);
        p.drawImage(0, 0, barShadow);
        p.drawImage(0, 0, bars);
    }
    const QImage markShadow =
        ImageEffects::shadow(mark, Studio::withOpacity(Studio::violet(), 0.14), 6 * scale, QPointF(0, 2 * scale));
    const QRectF target(rect.center().x() - s / 2 - margin, rect.center().y() - s / 2 - margin, s + 2 * margin,
                        s + 2 * margin);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, markShadow);
    painter.drawImage(target, mark);
    painter.restore();
}

QImage Brand::renderColourIcon(int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The plate takes 84 % of the square; the rest leaves room for its shadow.
    const qreal s = pixels * 0.84;
    painter.translate(pixels / 2.0, pixels / 2.0);
    painter.scale(s / 80.0, s / 80.0);
    drawPlateMark(painter, QRectF(-40, -41, 80, 80));
    painter.end();
    return image;
}

}  // namespace quorel
