#include "BoostDial.h"

#include "L10n.h"
#include "LanguageBinding.h"
#include "PanelFormat.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioSlider.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

// Strokes, shadow and glow reach past the gauge's square; the widget keeps this margin for them.
constexpr int gaugeMargin = 6;

// The drawing of the gauge: glow, track, value arc, ticks, knob and readout.
class DialGauge : public QWidget {
public:
    DialGauge(BoostDial* dial, int size) : QWidget(dial), dial_(dial), size_(size)
    {
        // The square is `size`; strokes and shadows reach past it, so the widget keeps a margin.
        setFixedSize(size + 2 * gaugeMargin, size + 2 * gaugeMargin);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        paintStatic(p);
        p.translate(gaugeMargin, gaugeMargin);
        const qreal s = size_;
        const QPointF centre(s / 2, s / 2);

        // Value arc: from -135 degrees clockwise over 75% x fraction of the circle.
        const float fraction = dial_->value() / 12.0f;
        const qreal r = s / 2;
        const QRectF circle(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        if (fraction > 0) {
            QPainterPath arc;
            arc.arcMoveTo(circle, 225);
            arc.arcTo(circle, 225, -270.0 * qreal(fraction));
            QPen glow(Studio::withOpacity(Studio::violet(), 0.35 / 3), 5 + 6, Qt::SolidLine, Qt::RoundCap);
            p.strokePath(arc, glow);
            QPen pen(QBrush(Studio::gradient(circle)), 5, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
            pen.setMiterLimit(10);
            p.strokePath(arc, pen);
        }

        // Ticks: tick i at 7.5 x i - 135 degrees, size/2 - 12 from the centre.
        const int lit = PanelFormat::litTickLimit(dial_->value());
        for (int i = 0; i < PanelFormat::tickCount; ++i) {
            const qreal height = PanelFormat::isTallTick(i) ? 6 : 3;
            p.save();
            p.translate(centre);
            p.rotate(7.5 * i - 135);
            p.translate(0, 12 - s / 2);
            QPainterPath tick;
            tick.addRoundedRect(QRectF(-0.5, -height / 2, 1, height), 0.5, 0.5);
            p.fillPath(tick, i <= lit ? Studio::withOpacity(Studio::violet(), 0.7) : QColor(255, 255, 255, 28));
            p.restore();
        }

        // Knob (drawn once, like the glow and the track).
        p.translate(-gaugeMargin, -gaugeMargin);
        p.drawPixmap(0, 0, knob_);
        p.translate(gaugeMargin, gaugeMargin);

        // Readout: the number over the unit line, spacing 1.
        QFont numberFont = Studio::font(39, QFont::Medium);
        numberFont.setLetterSpacing(QFont::AbsoluteSpacing, -1.5);
        QFont unitFont = Studio::font(9, QFont::DemiBold);
        unitFont.setLetterSpacing(QFont::AbsoluteSpacing, 2);
        const QFontMetricsF numberMetrics(numberFont), unitMetrics(unitFont);
        const qreal total = numberMetrics.height() + 1 + unitMetrics.height();
        const qreal top = centre.y() - total / 2;
        p.setFont(numberFont);
        p.setPen(Studio::text());
        p.drawText(QRectF(0, top, s, numberMetrics.height()), Qt::AlignCenter, dial_->readoutText());
        p.setFont(unitFont);
        p.setPen(Studio::secondary());
        // Letter spacing adds after the last letter too; shift by half of it to stay centred.
        p.drawText(QRectF(1, top + numberMetrics.height() + 1, s, unitMetrics.height()), Qt::AlignCenter,
                   dial_->unitText());
    }

private:
    // Glow, track and knob never change with the value: each drawn once into a pixmap.
    void paintStatic(QPainter& p)
    {
        p.drawPixmap(0, 0, cached(background_, &DialGauge::drawGlowAndTrack));
        cached(knob_, &DialGauge::drawKnob);
    }

    // `cache` at the screen's pixel ratio: drawn by `draw` (antialiased, its origin at the
    // gauge's corner) when it is missing or the ratio changed.
    const QPixmap& cached(QPixmap& cache, void (DialGauge::*draw)(QPainter&) const)
    {
        const qreal ratio = devicePixelRatioF();
        if (cache.isNull() || cache.devicePixelRatio() != ratio) {
            cache = QPixmap(size() * ratio);
            cache.setDevicePixelRatio(ratio);
            cache.fill(Qt::transparent);
            QPainter painter(&cache);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(gaugeMargin, gaugeMargin);
            (this->*draw)(painter);
        }
        return cache;
    }

    void drawGlowAndTrack(QPainter& b) const
    {
        const qreal s = size_;
        const QPointF centre(s / 2, s / 2);
        // Glow: a violet disc (diameter size - 28), softened by rings of falling opacity.
        const qreal glowR = (s - 28) / 2;
        QRadialGradient glow(centre, glowR + 15);
        const QColor violet = Studio::violet();
        const qreal inner = (glowR - 15) / (glowR + 15);
        glow.setColorAt(0, Studio::withOpacity(violet, 0.065));
        glow.setColorAt(std::max<qreal>(inner, 0), Studio::withOpacity(violet, 0.065));
        glow.setColorAt(glowR / (glowR + 15), Studio::withOpacity(violet, 0.033));
        glow.setColorAt(1, Studio::withOpacity(violet, 0));
        b.setPen(Qt::NoPen);
        b.setBrush(glow);
        b.drawEllipse(centre, glowR + 15, glowR + 15);
        // Track: 270 degrees from 7:30 clockwise to 4:30.
        const qreal r = s / 2;
        const QRectF circle(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        QPainterPath track;
        track.arcMoveTo(circle, 225);
        track.arcTo(circle, 225, -270);
        b.strokePath(track, QPen(QColor(255, 255, 255, 18), 5, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
    }

    void drawKnob(QPainter& k) const
    {
        const qreal s = size_;
        const QPointF centre(s / 2, s / 2);
        // A circle of diameter size - 46 with a soft black shadow 5 px below it.
        const qreal knobR = (s - 46) / 2;
        const QRectF knob(centre.x() - knobR, centre.y() - knobR, 2 * knobR, 2 * knobR);
        QRadialGradient shadow(knob.center() + QPointF(0, 5), knobR + 8);
        shadow.setColorAt(0, QColor(0, 0, 0, 115));
        shadow.setColorAt((knobR - 8) / (knobR + 8), QColor(0, 0, 0, 115));
        shadow.setColorAt(1, QColor(0, 0, 0, 0));
        k.setPen(Qt::NoPen);
        k.setBrush(shadow);
        k.drawEllipse(knob.center() + QPointF(0, 5), knobR + 8, knobR + 8);
        QLinearGradient face(knob.topLeft(), knob.bottomRight());
        face.setColorAt(0, Studio::raised());
        face.setColorAt(1, Studio::panel());
        k.setBrush(face);
        k.drawEllipse(knob);
        k.setBrush(Qt::NoBrush);
        k.setPen(QPen(QColor(255, 255, 255, 23), 1));
        k.drawEllipse(knob.adjusted(0.5, 0.5, -0.5, -0.5));
    }

    BoostDial* dial_;
    int size_;
    QPixmap background_;
    QPixmap knob_;
};

}  // namespace

BoostDial::BoostDial(int size, QWidget* parent) : QWidget(parent), size_(size)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7 - gaugeMargin);
    gauge_ = new DialGauge(this, size);
    column->addWidget(gauge_, 0, Qt::AlignHCenter);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(gaugeMargin, 0, gaugeMargin, 0);
    row->setSpacing(10);
    minus_ = new StudioButton(QString(), false, this);
    minus_->setSymbol(QStringLiteral("minus"));
    slider_ = new StudioSlider(Qt::Horizontal, this);
    slider_->setValueRange(0, 12);
    slider_->setStep(0.5f);
    slider_->setUnit(QStringLiteral("dB"));
    slider_->setFixedSize(110, 20);
    plus_ = new StudioButton(QString(), false, this);
    plus_->setSymbol(QStringLiteral("plus"));
    row->addStretch(1);
    row->addWidget(minus_, 0, Qt::AlignVCenter);
    row->addWidget(slider_, 0, Qt::AlignVCenter);
    row->addWidget(plus_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    column->addLayout(row);

    connect(minus_, &QAbstractButton::clicked, this, [this] { emit valueWritten(std::max(0.0f, value_ - 0.5f)); });
    connect(plus_, &QAbstractButton::clicked, this, [this] { emit valueWritten(std::min(value_ + 0.5f, 12.0f)); });
    connect(slider_, &StudioSlider::valueEdited, this, [this](float value) { emit valueWritten(value); });
    LanguageBinding::follow(this, &BoostDial::refreshTexts);
    refreshTexts();
}

void BoostDial::setValue(float decibels)
{
    if (decibels == value_ && slider_->value() == decibels) return;
    value_ = decibels;
    slider_->setValue(decibels);
    gauge_->update();
}

QString BoostDial::readoutText() const { return PanelFormat::signedNumber(value_, 1, L10n::language()); }

QString BoostDial::unitText() const { return L10n::text(QStringLiteral("DECIBELS"), L10n::language()); }

void BoostDial::refreshTexts()
{
    const AppLanguage language = L10n::language();
    minus_->setToolTip(L10n::text(QStringLiteral("Decrease Boost by 0.5 dB"), language));
    minus_->setAccessibleName(L10n::text(QStringLiteral("Decrease Boost"), language));
    plus_->setToolTip(L10n::text(QStringLiteral("Increase Boost by 0.5 dB"), language));
    plus_->setAccessibleName(L10n::text(QStringLiteral("Increase Boost"), language));
    slider_->setLabel(L10n::text(QStringLiteral("Boost"), language));
    gauge_->update();
}

}  // namespace quorel
