#include "EqualizerSpectrum.h"

#include "Decoration.h"
#include "EqualizerFader.h"
#include "FlatGradient.h"
#include "SpectrumModel.h"
#include "Studio.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cmath>

namespace quorel {

namespace {

// A layer of the drawing at the canvas size in device pixels.
QPixmap layerFor(const EqualizerSpectrum::Geometry& g, qreal ratio)
{
    QPixmap layer((QSizeF(g.width, g.height) * ratio).toSize());
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    return layer;
}

bool fits(const QPixmap& layer, const EqualizerSpectrum::Geometry& g, qreal ratio)
{
    return !layer.isNull() && layer.devicePixelRatio() == ratio
           && layer.size() == (QSizeF(g.width, g.height) * ratio).toSize();
}

using BarPieces = QVarLengthArray<QRectF, 93>;

// The pixels of the bar `rect`, filled without antialiasing: the rectangle with its edges on the
// nearest device pixel boundaries (the pixels the antialiased fill covered more than half of)
// and, where the corners' 1.5 pt rounding leaves the centre of a corner's pixel outside (more
// than 1.71 device pixels), the end rows a device pixel narrower at each side.
void addBar(BarPieces& pieces, const QRectF& rect, qreal ratio)
{
    const auto snap = [ratio](qreal at) { return std::round(at * ratio) / ratio; };
    const QRectF bar(QPointF(snap(rect.left()), snap(rect.top())), QPointF(snap(rect.right()), snap(rect.bottom())));
    const qreal pixel = 1 / ratio;
    if (1.5 * ratio <= 1.71 || bar.height() < 3 * pixel || bar.width() < 3 * pixel) {
        pieces.append(bar);
        return;
    }
    pieces.append(bar.adjusted(0, pixel, 0, -pixel));
    pieces.append(QRectF(bar.left() + pixel, bar.top(), bar.width() - 2 * pixel, pixel));
    pieces.append(QRectF(bar.left() + pixel, bar.bottom() - pixel, bar.width() - 2 * pixel, pixel));
}

// `colour` over the opaque `base`: the opaque colour a fill with `colour` leaves there.
QColor over(const QColor& colour, const QColor& base)
{
    const float a = colour.alphaF();
    return QColor::fromRgbF(colour.redF() * a + base.redF() * (1 - a), colour.greenF() * a + base.greenF() * (1 - a),
                            colour.blueF() * a + base.blueF() * (1 - a));
}

// A fill from `top` at the top of `rect` to `bottom` at its bottom.
QBrush verticalGradient(const QRectF& rect, const QColor& top, const QColor& bottom)
{
    QLinearGradient fill(0, rect.top(), 0, rect.bottom());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    return fill;
}

}  // namespace

qreal EqualizerSpectrum::Geometry::barWidth() const { return std::max(0.55 * column(), 3.0); }

std::optional<QRectF> EqualizerSpectrum::Geometry::bar(int band, float levelDB) const
{
    const qreal fraction = std::clamp((qreal(levelDB) + 60) / 60, 0.0, 1.0);
    const qreal h = fraction * track();
    if (!(h > 0.5)) return std::nullopt;
    const qreal b = barWidth();
    return QRectF(centre(band) - b / 2, bottom() - h, b, h);
}

QPointF EqualizerSpectrum::Geometry::curvePoint(const EqualizerResponse::Point& point) const
{
    const qreal x = point.position * 30 * pitch() + column() / 2;
    const qreal f = point.gainDB >= 12 ? 0.0 : 0.5 - std::max(qreal(point.gainDB), -12.0) / 24;
    return {x, top() + f * track()};
}

EqualizerSpectrum::EqualizerSpectrum(SpectrumModel& spectrum, QWidget* parent)
    : QWidget(parent), spectrum_(spectrum), bands_(31, 0.0f)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Decoration::mark(this);
    connect(&spectrum_, &SpectrumModel::changed, this, qOverload<>(&QWidget::update));
}

void EqualizerSpectrum::moveEvent(QMoveEvent*)
{
    layerDirty_ = true;  // the faders lie elsewhere in the drawing
}

void EqualizerSpectrum::setBands(const std::vector<float>& bands)
{
    if (bands == bands_) return;
    bands_ = bands;
    curveDirty_ = true;
    update();
}

void EqualizerSpectrum::setSampleRate(double sampleRate)
{
    if (sampleRate == sampleRate_) return;
    sampleRate_ = sampleRate;
    curveDirty_ = true;
    update();
}

void EqualizerSpectrum::setTrackInset(qreal inset)
{
    trackInset_ = inset;
    curveDirty_ = true;
    update();
}

void EqualizerSpectrum::setFaders(const std::vector<EqualizerFader*>& faders)
{
    for (EqualizerFader* fader : faders_) disconnect(fader, nullptr, this, nullptr);
    faders_ = faders;
    for (EqualizerFader* fader : faders_)
        connect(fader, &EqualizerFader::pictureChanged, this, [this, fader] {
            layerDirty_ = true;
            update(placeOf(fader));
        });
    layerDirty_ = true;
    update();
}

// Where `fader` lies, in this view's coordinates (a sibling's geometry moved by this view's).
QRect EqualizerSpectrum::placeOf(const EqualizerFader* fader) const
{
    return fader->geometry().translated(-pos()) & rect();
}

EqualizerSpectrum::Geometry EqualizerSpectrum::geometry() const
{
    return {qreal(width()), qreal(height()), trackInset_};
}

void EqualizerSpectrum::renderCurveLayer(const Geometry& g, qreal ratio)
{
    ++curveRenders_;
    curveLayer_ = layerFor(g, ratio);
    QPainter painter(&curveLayer_);
    painter.setRenderHint(QPainter::Antialiasing);

    const std::vector<EqualizerResponse::Point> points = EqualizerResponse::curve(bands_, sampleRate_, curvePoints);
    QPainterPath curve;
    for (size_t k = 0; k < points.size(); ++k) {
        const QPointF at = g.curvePoint(points[k]);
        if (k == 0)
            curve.moveTo(at);
        else
            curve.lineTo(at);
    }
    QPainterPath area = curve;
    area.lineTo(30 * g.pitch() + g.column() / 2, g.zeroLine());
    area.lineTo(g.column() / 2, g.zeroLine());
    area.closeSubpath();
    painter.fillPath(area, Studio::withOpacity(Studio::cyan(), 0.1));

    QPen wide(Studio::withOpacity(Studio::cyan(), 0.35), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    wide.setMiterLimit(10);
    painter.strokePath(curve, wide);
    QPen thin(Studio::cyan(), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    thin.setMiterLimit(10);
    painter.strokePath(curve, thin);
    curveDirty_ = false;
}

// What lies over the bars, as one picture: the curve layer, then the faders' pictures in their
// places.
void EqualizerSpectrum::composeLayer(const Geometry& g, qreal ratio)
{
    layer_ = layerFor(g, ratio);
    QPainter painter(&layer_);
    if (g.drawable()) {
        if (curveDirty_ || !fits(curveLayer_, g, ratio)) renderCurveLayer(g, ratio);
        painter.drawPixmap(0, 0, curveLayer_);
    }
    for (EqualizerFader* fader : faders_)
        if (!fader->isHidden()) painter.drawPixmap(fader->pos() - pos(), fader->picture());
    layerDirty_ = false;
}

void EqualizerSpectrum::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Studio::panel());
    const Geometry g = geometry();
    const qreal ratio = devicePixelRatioF();
    if (g.drawable() && spectrum_.live()) drawBars(painter, g, ratio);
    if (layerDirty_ || (curveDirty_ && g.drawable()) || !fits(layer_, g, ratio)) composeLayer(g, ratio);
    painter.drawPixmap(0, 0, layer_);
}

void EqualizerSpectrum::drawBars(QPainter& painter, const Geometry& g, qreal ratio) const
{
    const QColor inputColour = Studio::withOpacity(Studio::secondary(), 0.16);
    const QColor top = Studio::withOpacity(Studio::violet(), 0.55);
    const QColor bottom = Studio::withOpacity(Studio::violet(), 0.18);
    const std::vector<float>& input = spectrum_.input();
    const std::vector<float>& output = spectrum_.output();
    const auto bar = [&](int band, const std::vector<float>& levels) {
        return size_t(band) < levels.size() ? g.bar(band, levels[size_t(band)]) : std::nullopt;
    };
    painter.setPen(Qt::NoPen);
    BarPieces pieces;
    if (g.pitch() - g.barWidth() < 3) {
        // Bars this close may touch their neighbours': each band's translucent output bar
        // covers its input bar, band after band.
        for (int i = 0; i < 31; ++i) {
            if (const auto rect = bar(i, input)) {
                pieces.clear();
                addBar(pieces, *rect, ratio);
                painter.setBrush(FlatGradient::brush(inputColour));
                painter.drawRects(pieces.constData(), int(pieces.size()));
            }
            if (const auto rect = bar(i, output)) {
                pieces.clear();
                addBar(pieces, *rect, ratio);
                painter.setBrush(verticalGradient(*rect, top, bottom));
                painter.drawRects(pieces.constData(), int(pieces.size()));
            }
        }
        return;
    }
    // Apart, every bar lies on the card's opaque colour alone, so it is filled with the opaque
    // colours its translucent ones give there, and no pixel is blended: the input bars in one
    // fill; each output bar over its input bar with its gradient over the input's colour, above
    // that with its gradient over the card's.
    const QColor card = Studio::panel();
    const QColor inputOnCard = over(inputColour, card);
    const QColor topOnCard = over(top, card), bottomOnCard = over(bottom, card);
    const QColor topOnInput = over(top, inputOnCard), bottomOnInput = over(bottom, inputOnCard);
    std::array<qreal, 31> inputTop{};
    for (int i = 0; i < 31; ++i) {
        inputTop[size_t(i)] = g.bottom() + 1;
        if (const auto rect = bar(i, input)) {
            addBar(pieces, *rect, ratio);
            inputTop[size_t(i)] = std::round(rect->top() * ratio) / ratio;
        }
    }
    painter.setBrush(inputOnCard);
    painter.drawRects(pieces.constData(), int(pieces.size()));
    for (int i = 0; i < 31; ++i) {
        const auto rect = bar(i, output);
        if (!rect) continue;
        pieces.clear();
        addBar(pieces, *rect, ratio);
        BarPieces onCard, onInput;
        for (const QRectF& piece : pieces) {
            const qreal split = std::clamp(inputTop[size_t(i)], piece.top(), piece.bottom());
            if (split > piece.top())
                onCard.append(QRectF(piece.left(), piece.top(), piece.width(), split - piece.top()));
            if (split < piece.bottom())
                onInput.append(QRectF(piece.left(), split, piece.width(), piece.bottom() - split));
        }
        painter.setBrush(verticalGradient(*rect, topOnCard, bottomOnCard));
        painter.drawRects(onCard.constData(), int(onCard.size()));
        painter.setBrush(verticalGradient(*rect, topOnInput, bottomOnInput));
        painter.drawRects(onInput.constData(), int(onInput.size()));
    }
}

}  // namespace quorel
