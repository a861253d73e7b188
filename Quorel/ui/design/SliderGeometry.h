#pragma once

#include "AppLanguage.h"

#include <QColor>
#include <QLineF>
#include <QRectF>
#include <QString>

#include <array>

namespace quorel {

// The slider's arithmetic and drawing geometry as pure functions, so each number can be tested.
namespace SliderMath {

// Differences up to this are "the same value".
inline constexpr double epsilon = 0.00001;

// User input snapped to the step grid anchored at `lo` (halves away from zero) when step > 0,
// then clamped to lo...hi; a value that is not a number becomes lo.
float snapped(float x, float lo, float hi, float step);
// One arrow key or accessible action: `step` when above 0, else (hi - lo) / 100.
double increment(float lo, float hi, float step);
// Whether two values differ by more than epsilon (not-a-number always differs).
bool differs(double a, double b);
// The value as drawn: clamped to lo...hi, not-a-number gives lo.
double displayed(double value, double lo, double hi);
// The spoken value: "13%" for unit "%", else the value with one fraction digit, a space and
// the unit ("6.0 dB", "6,0 dB").
QString spokenValue(float value, const QString& unit, AppLanguage language);

}  // namespace SliderMath

// Where the track, the filled part, the scale marks and the knob go.
namespace SliderGeometry {

struct Mark {
    QLineF left;  // stroked twice (see drawing)
    QLineF right;
    double alpha;  // 0.25 for the middle row, 0.07 otherwise
};

struct Bar {
    QRectF track;             // T
    QRectF fill;              // F
    double fraction = 0;      // t, clamped to 0...1
    double zeroFraction = 0;  // z, clamped to 0...1
    int markCount = 0;        // 9 when vertical, else 0
    std::array<Mark, 9> marks{};
};

// Track, fill and marks for the bar rectangle `bar`, value `v` in lo...hi. `flipped`: y grows
// downwards (always true for widgets). The span is at least 0.00001 and both fractions are clamped
// to 0...1, so a zero-width range or a bipolar range without 0 keeps the fill inside the track.
Bar bar(const QRectF& bar, double v, double lo, double hi, bool vertical, bool bipolar, bool compact,
        bool flipped = true);

struct Knob {
    QRectF shape;        // P
    double radius;       // 7 (circle) or 3 (fader cap)
    bool hasAccentLine;  // vertical only
    QRectF accentLine;   // (minX(P) + 4, midY(P) - 0.7, W - 8, 1.4), radius 0.7
};

// The knob centred in the knob rectangle `knob`.
Knob knob(const QRectF& knob, bool vertical, bool compact);

// Colours by state.
QColor accent(bool cyan);                    // opaque violet or cyan
QColor fillColour(bool cyan, bool enabled);  // accent at 0.95, or 0.2 when disabled
QColor knobBase(bool enabled);               // white level 0.84, or 0.4 when disabled

}  // namespace SliderGeometry
}  // namespace quorel
