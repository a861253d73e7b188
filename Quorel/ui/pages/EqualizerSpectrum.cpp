#include "EqualizerSpectrum.h"

#include "Decoration.h"
#include "EqualizerFader.h"
#include "FlatGradient.h"
#include "SpectrumModel.h"
#include "Studio.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace quorel {

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
        connect(fader, &EqualizerFader::pictureChanged, this, [this, fader] { update(placeOf(fader)); });
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
    curveLayer_ = QPixmap((QSizeF(g.width, g.height) * ratio).toSize());
    curveLayer_.setDevicePixelRatio(ratio);
    curveLayer_.fill(Qt::transparent);
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

void EqualizerSpectrum::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Studio::panel());
    const Geometry g = geometry();
    if (g.drawable()) {
        painter.setRenderHint(QPainter::Antialiasing);
        if (spectrum_.live()) drawBars(painter, g);
        const qreal ratio = devicePixelRatioF();
        if (curveDirty_ || curveLayer_.isNull() || curveLayer_.devicePixelRatio() != ratio
            || curveLayer_.size() != (QSizeF(g.width, g.height) * ratio).toSize())
            renderCurveLayer(g, ratio);
        painter.drawPixmap(0, 0, curveLayer_);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawFaders(painter, event->rect());
}

void EqualizerSpectrum::drawFaders(QPainter& painter, const QRect& area) const
{
    for (EqualizerFader* fader : faders_) {
        const QRect place = placeOf(fader);
        if (fader->isHidden() || !place.intersects(area)) continue;
        painter.drawPixmap(fader->pos() - pos(), fader->picture());
    }
}

void EqualizerSpectrum::drawBars(QPainter& painter, const Geometry& g) const
{
    const QBrush inputColour = FlatGradient::brush(Studio::withOpacity(Studio::secondary(), 0.16));
    const QColor top = Studio::withOpacity(Studio::violet(), 0.55);
    const QColor bottom = Studio::withOpacity(Studio::violet(), 0.18);
    const std::vector<float>& input = spectrum_.input();
    const std::vector<float>& output = spectrum_.output();
    painter.setPen(Qt::NoPen);
    // Each band's output bar covers its input bar. While the bands' bars stay a pixel apart
    // (their antialiased edges included), the input bars go first with one brush for all,
    // which paints the same pixels with 30 brush changes fewer.
    const bool apart = g.pitch() - g.barWidth() >= 3;
    if (apart) {
        painter.setBrush(inputColour);
        for (int i = 0; i < 31 && size_t(i) < input.size(); ++i)
            if (const auto rect = g.bar(i, input[size_t(i)])) painter.drawRoundedRect(*rect, 1.5, 1.5);
    }
    for (int i = 0; i < 31; ++i) {
        if (!apart && size_t(i) < input.size())
            if (const auto rect = g.bar(i, input[size_t(i)])) {
                painter.setBrush(inputColour);
                painter.drawRoundedRect(*rect, 1.5, 1.5);
            }
        if (size_t(i) < output.size())
            if (const auto rect = g.bar(i, output[size_t(i)])) {
                QLinearGradient fill(0, rect->top(), 0, rect->bottom());
                fill.setColorAt(0, top);
                fill.setColorAt(1, bottom);
                painter.setBrush(fill);
                painter.drawRoundedRect(*rect, 1.5, 1.5);
            }
    }
}

}  // namespace quorel
