#include "SliderGeometry.h"

#include "L10n.h"
#include "PanelFormat.h"
#include "Studio.h"

#include <algorithm>
#include <cmath>

namespace quorel {

namespace SliderMath {

float snapped(float x, float lo, float hi, float step)
{
    if (step > 0) x = lo + std::round((x - lo) / step) * step;  // std::round: halves away from zero
    if (std::isnan(x)) return lo;
    return std::min(std::max(x, lo), hi);
}

double increment(float lo, float hi, float step) { return step > 0 ? double(step) : (double(hi) - double(lo)) / 100.0; }

bool differs(double a, double b) { return !(std::abs(a - b) <= epsilon); }

double displayed(double value, double lo, double hi)
{
    if (std::isnan(value)) return lo;
    return std::min(std::max(value, lo), std::max(lo, hi));
}

QString spokenValue(float value, const QString& unit, AppLanguage language)
{
    if (unit == QStringLiteral("%")) return PanelFormat::percentText(value);
    return L10n::number(value, 1, language) + QStringLiteral(" ") + unit;
}

}  // namespace SliderMath

namespace SliderGeometry {

Bar bar(const QRectF& r, double v, double lo, double hi, bool vertical, bool bipolar, bool compact, bool flipped)
{
    Bar b;
    const double span = std::max(hi - lo, 0.00001);
    const double value = SliderMath::displayed(v, lo, hi);
    b.fraction = std::clamp((value - lo) / span, 0.0, 1.0);
    // The position of 0 through the same guarded span, kept inside the track.
    b.zeroFraction = bipolar ? std::clamp((0.0 - lo) / span, 0.0, 1.0) : 0.0;
    const double s = std::min(b.fraction, b.zeroFraction);
    const double l = std::abs(b.fraction - b.zeroFraction);

    if (vertical)
        b.track = QRectF(r.center().x() - 2, r.top() + 5, 4, std::max(r.height() - 10, 1.0));
    else
        b.track = QRectF(r.left() + 2, r.center().y() - 2.5, std::max(r.width() - 4, 1.0), 5);
    const QRectF& t = b.track;

    if (vertical) {
        const double h = t.height() * l;
        const double y = flipped ? t.bottom() - t.height() * (s + l) : t.top() + t.height() * s;
        b.fill = QRectF(t.left(), y, t.width(), h);
        b.markCount = 9;
        const double longReach = compact ? 5 : 10;
        const double shortReach = compact ? 2 : 5;
        for (int i = 0; i < 9; ++i) {
            const double y2 = t.top() + t.height() * i * 0.125;
            b.marks[size_t(i)] =
                Mark{QLineF(t.left() - longReach, y2, t.left() - shortReach, y2),
                     QLineF(t.right() + shortReach, y2, t.right() + longReach, y2), i == 4 ? 0.25 : 0.07};
        }
    } else {
        b.fill = QRectF(t.left() + t.width() * s, t.top(), t.width() * l, t.height());
    }
    return b;
}

Knob knob(const QRectF& k, bool vertical, bool compact)
{
    Knob result{};
    if (!vertical) {
        result.shape = QRectF(k.center().x() - 7, k.center().y() - 7, 14, 14);
        result.radius = 7;
        result.hasAccentLine = false;
        return result;
    }
    const double w = compact ? 16 : 24;
    result.shape = QRectF(k.center().x() - w / 2, k.center().y() - 5.5, w, 11);
    result.radius = 3;
    result.hasAccentLine = true;
    result.accentLine = QRectF(result.shape.left() + 4, result.shape.center().y() - 0.7, w - 8, 1.4);
    return result;
}

QColor accent(bool cyan) { return cyan ? Studio::cyan() : Studio::violet(); }

QColor fillColour(bool cyan, bool enabled) { return Studio::withOpacity(accent(cyan), enabled ? 0.95 : 0.2); }

QColor knobBase(bool enabled)
{
    const double level = enabled ? 0.84 : 0.4;
    return Studio::rgb(level, level, level);
}

}  // namespace SliderGeometry
}  // namespace quorel
