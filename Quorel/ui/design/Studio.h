#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPalette>
#include <QRectF>

class QApplication;

namespace quorel {

// The one dark look: the palette every view paints with, its fonts, and the Fusion palette that
// gives standard controls (combo boxes, check boxes, menus, message boxes) the same look.
// All sizes are logical pixels; fonts are sized with setPixelSize, never in points.
class Studio {
public:
    Studio() = delete;

    static QColor background();  // window background
    static QColor panel();       // card fill
    static QColor raised();      // raised elements inside cards
    static QColor line();        // hairlines, card borders, plain-button borders (white, 0.085)
    static QColor text();        // primary text
    static QColor secondary();   // secondary text
    static QColor violet();      // accent
    static QColor cyan();        // second accent
    static QColor warning();     // orange: a limit reached, peaks being shaped

    // An sRGB colour from 0...1 components.
    static QColor rgb(double r, double g, double b, double alpha = 1.0);
    // `colour` with its alpha multiplied by `opacity`.
    static QColor withOpacity(const QColor& colour, double opacity);

    // The accent gradient from the top-left to the bottom-right corner of `rect`.
    static QLinearGradient gradient(const QRectF& rect);
    static QColor gradientStart();
    static QColor gradientEnd();

    // The interface font (DejaVu Sans where the system has no better sans-serif) at `pixelSize`.
    static QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);

    // The palette of standard controls made from the colours above.
    static QPalette palette();
    // Fusion style, the palette above and the 13 px interface font for the whole application.
    static void install(QApplication& app);
};

}  // namespace quorel
