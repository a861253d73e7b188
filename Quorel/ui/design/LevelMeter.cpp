#include "LevelMeter.h"

#include "PanelFormat.h"
#include "ReduceMotion.h"
#include "Studio.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

constexpr int headerHeight = 14;
constexpr int spacing = 8;
constexpr int barHeight = 14;
constexpr qreal gap = 3;

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(
        float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QFont titleFont() { return Studio::font(11); }

QFont valueFont()
{
    QFont font = Studio::font(10);
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    return font;
}

}  // namespace

LevelMeter::LevelMeter(const QColor& accent, QWidget* parent)
    : QWidget(parent), accent_(accent), ease_(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The meter sits inside a card and paints the card's colour itself, so a frame of the fade
    // repaints the meter alone, not the card, page and window behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    ease_->setDuration(150);
    ease_->setEasingCurve(QEasingCurve::OutQuad);
    ease_->setStartValue(0.0);
    ease_->setEndValue(1.0);
    connect(ease_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        progress_ = value.toReal();
        update(fading_);
    });
    connect(ease_, &QVariantAnimation::finished, this, [this] {
        progress_ = 1;
        update(fading_);
    });
}

void LevelMeter::setTitle(const QString& title)
{
    if (title == title_) return;
    title_ = title;
    updateAccessibleName();
    update();
}

void LevelMeter::setLevel(float level, const QString& valueText)
{
    if (valueText != valueText_) {
        valueText_ = valueText;
        updateAccessibleName();
        update(QRect(0, 0, width(), headerHeight));
    }
    if (level == level_ || (std::isnan(level) && std::isnan(level_))) return;
    // Each change fades from the last level's segments to the new level's. Readings come every
    // 0.2 s and a fade lasts 0.15 s, so a fade is rarely cut short; when it is, the new one
    // starts from the last target.
    // A fade cut short leaves its segments between two colours: they are drawn again too.
    const QRect unfinished = progress_ < 1 ? fading_ : QRect();
    from_ = level_;
    level_ = level;
    const QRect changed = changedSegments(from_, level_);
    ease_->stop();
    // Only the segments that change are drawn again, and only while they change.
    fading_ = changed | unfinished;
    // No fade where nobody sees it: motion reduced, or the bar hidden or scrolled out of view.
    if (changed.isEmpty() || ReduceMotion::shared().isOn() || !isVisible() || visibleRegion().isEmpty()) {
        progress_ = 1;
        if (!fading_.isEmpty()) update(fading_);
        return;
    }
    progress_ = 0;
    ease_->start();
}

bool LevelMeter::isEasing() const { return ease_->state() == QAbstractAnimation::Running; }

QColor LevelMeter::restingColour(float level, int segment) const
{
    if (!PanelFormat::segmentLit(level, segment)) return QColor(255, 255, 255, 17);  // white at 0.065
    if (segment >= PanelFormat::segmentCount - PanelFormat::orangeSegments) return Studio::warning();
    return accent_;
}

QColor LevelMeter::segmentColour(int segment) const
{
    const QColor to = restingColour(level_, segment);
    if (progress_ >= 1) return to;
    return mix(restingColour(from_, segment), to, progress_);
}

QRectF LevelMeter::barRect() const { return QRectF(0, headerHeight + spacing, width(), barHeight); }

QRectF LevelMeter::segmentRect(int segment) const
{
    const QRectF bar = barRect();
    const qreal w = segmentWidth(bar.width());
    return QRectF(bar.left() + segment * (w + gap), bar.top(), w, bar.height());
}

QRect LevelMeter::changedSegments(float a, float b) const
{
    QRectF changed;
    for (int i = 0; i < PanelFormat::segmentCount; ++i)
        if (restingColour(a, i) != restingColour(b, i)) changed |= segmentRect(i);
    // The antialiased edges reach into the pixel around each segment.
    return changed.isEmpty() ? QRect() : changed.toAlignedRect().adjusted(-1, -1, 1, 1);
}

qreal LevelMeter::segmentWidth(qreal barWidth)
{
    return std::max((barWidth - gap * (PanelFormat::segmentCount - 1)) / PanelFormat::segmentCount, 1.0);
}

QSize LevelMeter::sizeHint() const { return {160, headerHeight + spacing + barHeight}; }
QSize LevelMeter::minimumSizeHint() const { return {40, headerHeight + spacing + barHeight}; }

void LevelMeter::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Studio::panel());
    const QRectF header(0, 0, width(), headerHeight);
    if (event->rect().intersects(header.toAlignedRect())) {
        p.setFont(titleFont());
        p.setPen(Studio::secondary());
        p.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, title_);
        p.setFont(valueFont());
        p.setPen(Studio::text());
        p.drawText(header, Qt::AlignRight | Qt::AlignVCenter, valueText_ + QStringLiteral(" dBFS"));
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < PanelFormat::segmentCount; ++i) {
        const QRectF segment = segmentRect(i);
        if (!event->region().intersects(segment.toAlignedRect().adjusted(-1, -1, 1, 1))) continue;
        p.setBrush(segmentColour(i));
        p.drawRoundedRect(segment, 1.5, 1.5);
    }
}

void LevelMeter::updateAccessibleName()
{
    setAccessibleName(title_ + QStringLiteral(": ") + valueText_ + QStringLiteral(" dBFS"));
}

}  // namespace quorel
