#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QWidget;

namespace quorel {

// The one keyboard focus ring of the interface: a 2-px ring in the accent colour along the
// inside of a control's rounded outline, with a 1-px line of the window background inside it so
// that it reads on dark plates and on the accent gradient alike.
class FocusRing {
public:
    FocusRing() = delete;

    static constexpr qreal width = 2;

    static QColor colour();
    // Draws the ring along the inside of the rounded rectangle `bounds` with corner `radius`.
    static void draw(QPainter& painter, const QRectF& bounds, qreal radius);
    // Draws the ring inside `widget`'s whole rectangle while it has the focus and took it from
    // the keyboard (Tab, a shortcut, an assistive technology): not for a click, nor for the
    // first control of a window that just opened.
    static void drawIfFocused(QPainter& painter, const QWidget& widget, qreal radius);
    static bool showsRing(const QWidget& widget);
};

}  // namespace quorel
