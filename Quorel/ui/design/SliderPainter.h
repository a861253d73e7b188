#pragma once

#include <QRectF>

class QPainter;

namespace quorel {

// Everything the slider drawing reads.
struct SliderPaintState {
    QRectF bar;   // the bar rectangle
    QRectF knob;  // the knob rectangle for the current value
    double value = 0;
    double lo = 0;
    double hi = 1;
    bool vertical = false;
    bool bipolar = false;
    bool cyan = false;
    bool compact = false;
    bool enabled = true;
    bool focused = false;
};

namespace SliderPainter {
// Track, marks and filled part.
void drawBar(QPainter& painter, const SliderPaintState& state);
// The knob with its shadow, gradient, rim and (vertical) accent line.
void drawKnob(QPainter& painter, const SliderPaintState& state);
// The keyboard focus ring around the knob.
void drawFocusRing(QPainter& painter, const SliderPaintState& state);
// All of the above in order.
void draw(QPainter& painter, const SliderPaintState& state);
}  // namespace SliderPainter

}  // namespace quorel
