#include "SliderPainter.h"

#include "FocusRing.h"
#include "SliderGeometry.h"
#include "Studio.h"

#include <QPainter>
#include <QPainterPath>

#include <vector>

namespace quorel::SliderPainter {

void drawBar(QPainter& painter, const SliderPaintState& st)
{
    const auto b = SliderGeometry::bar(st.bar, st.value, st.lo, st.hi, st.vertical, st.bipolar, st.compact);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Studio::rgb(1, 1, 1, 0.075));
    painter.drawRoundedRect(b.track, 3, 3);

    for (int i = 0; i < b.markCount; ++i) {
        const auto& m = b.marks[size_t(i)];
        // The left mark is stroked twice (the path is stroked once with it alone, then again
        // with the right one), so it reads a little stronger; keep that weight.
        QPen pen(Studio::rgb(1, 1, 1, m.alpha), 1.0);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(m.left);
        painter.drawLine(m.left);
        painter.drawLine(m.right);
    }

    painter.setPen(Qt::NoPen);
    if (b.fill.width() > 0 && b.fill.height() > 0) {
        painter.setBrush(SliderGeometry::fillColour(st.cyan, st.enabled));
        const double r = std::min({3.0, b.fill.width() / 2, b.fill.height() / 2});
        painter.drawRoundedRect(b.fill, r, r);
    }
    painter.restore();
}

namespace {

// Shadow, base, gradient and rim of a knob whose shape is `shapeRect`.
void paintKnobBody(QPainter& painter, const QRectF& shapeRect, double radius, bool enabled)
{
    const SliderGeometry::Knob k{shapeRect, radius, false, {}};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(k.shape, k.radius, k.radius);

    // Shadow: black at 0.5, blur 5, 2 below (y grows downwards here); a few widening layers.
    for (int i = 4; i >= 1; --i) {
        const double grow = i * 0.9;
        QPainterPath layer;
        layer.addRoundedRect(k.shape.translated(0, 2).adjusted(-grow, -grow, grow, grow), k.radius + grow,
                             k.radius + grow);
        painter.fillPath(layer, QColor(0, 0, 0, int(0.5 * 255 / 5.0)));
    }
    painter.fillPath(shape, SliderGeometry::knobBase(enabled));

    // The gradient at 90 degrees in the control's flipped space: light at the top, darker below.
    // It is opaque, so of the base only its shadow shows.
    QLinearGradient g(k.shape.topLeft(), k.shape.bottomLeft());
    g.setColorAt(0, Studio::rgb(0.97, 0.97, 0.97));
    g.setColorAt(1, Studio::rgb(0.62, 0.62, 0.62));
    painter.fillPath(shape, g);

    painter.setPen(QPen(Studio::rgb(1, 1, 1, 0.65), 0.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);
    painter.restore();
}

constexpr double spriteMargin = 6;

// The knob body drawn once per look and pixel ratio; a repaint of many faders then copies it.
const QImage& knobSprite(const QSizeF& size, double radius, bool enabled, qreal ratio)
{
    struct Entry {
        QSizeF size;
        double radius;
        bool enabled;
        qreal ratio;
        QImage image;
    };
    static std::vector<Entry> cache;  // main thread only; a handful of looks
    for (const Entry& e : cache)
        if (e.size == size && e.radius == radius && e.enabled == enabled && e.ratio == ratio) return e.image;
    const QSizeF logical(size.width() + 2 * spriteMargin, size.height() + 2 * spriteMargin);
    QImage image((logical * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        paintKnobBody(p, QRectF(QPointF(spriteMargin, spriteMargin), size), radius, enabled);
    }
    cache.push_back({size, radius, enabled, ratio, std::move(image)});
    return cache.back().image;
}

}  // namespace

void drawKnob(QPainter& painter, const SliderPaintState& st)
{
    const auto k = SliderGeometry::knob(st.knob, st.vertical, st.compact);
    const QTransform::TransformationType type = painter.worldTransform().type();
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (type <= QTransform::TxTranslate) {
        painter.drawImage(k.shape.topLeft() - QPointF(spriteMargin, spriteMargin),
                          knobSprite(k.shape.size(), k.radius, st.enabled, ratio));
    } else {
        paintKnobBody(painter, k.shape, k.radius, st.enabled);
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (k.hasAccentLine) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Studio::withOpacity(SliderGeometry::accent(st.cyan), 0.9));
        painter.drawRoundedRect(k.accentLine, 0.7, 0.7);
    }
    painter.restore();
}

void drawFocusRing(QPainter& painter, const SliderPaintState& st)
{
    if (!st.focused) return;
    const auto k = SliderGeometry::knob(st.knob, st.vertical, st.compact);
    FocusRing::draw(painter, k.shape.adjusted(-3, -3, 3, 3), k.radius + 3);
}

void draw(QPainter& painter, const SliderPaintState& state)
{
    drawBar(painter, state);
    drawFocusRing(painter, state);
    drawKnob(painter, state);
}

}  // namespace quorel::SliderPainter
