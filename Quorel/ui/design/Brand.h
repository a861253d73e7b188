#pragma once

#include <QImage>
#include <QPixmap>
#include <QRectF>

#include <array>
#include <optional>

class QPainter;

namespace quorel {

// The application's artwork: the colour icon "Quorel-Icon" (compiled in as a resource), the
// five-bar mark drawn in code at any size, and the mark on its violet plate that the sidebar shows
// and from which the colour icon is made.
class Brand {
public:
    Brand() = delete;

    // Relative heights of the five bars, left to right.
    static constexpr std::array<qreal, 5> barHeights{0.38, 0.64, 1.0, 0.74, 0.4};
    // Resource path of the colour icon.
    static constexpr const char* iconResource = ":/quorel/Quorel-Icon.png";

    // The colour icon, loaded once on first use; absent when the resource is missing or unreadable.
    static const std::optional<QImage>& source();

    // The five bars of the mark of side `s`, centred in `rect` (width 0.135 s, gap 0.06 s,
    // height max(b x 0.78 s, width)).
    static std::array<QRectF, 5> markBars(qreal s, const QRectF& rect);
    // Fills the bars as fully rounded rectangles in `colour`.
    static void drawMark(QPainter& painter, qreal s, const QRectF& rect, const QColor& colour = Qt::black);
    // The mark as a template image (black bars on a transparent ground), `s` x `s` logical pixels at
    // `devicePixelRatio`; never fails.
    static QImage templateImage(qreal s, qreal devicePixelRatio = 1.0);
    // The colour icon scaled to `s` x `s` logical pixels, or nothing without the resource.
    static std::optional<QPixmap> image(qreal s, qreal devicePixelRatio = 1.0);

    // Geometry of the mark on its plate, for side `s` (all in logical pixels).
    struct PlateGeometry {
        qreal cornerRadius;              // 0.24 s
        qreal glowRadius;                // 0.95 s
        qreal barWidth;                  // 0.092 s
        qreal barSpacing;                // 0.045 s
        qreal rowWidth;                  // 5 bars and 4 gaps
        qreal barShadowRadius;           // 0.055 s
        std::array<qreal, 5> barHeight;  // 0.52 s x barHeights
        std::array<QRectF, 5> bars;      // centred in the square (0, 0, s, s)
    };
    static PlateGeometry plateGeometry(qreal s);
    // Paints the mark on its plate (plate, glow, rim, hairline, bars, shadows) into the square
    // `rect`. The drop shadows reach a little outside the square.
    static void drawPlateMark(QPainter& painter, const QRectF& rect);
    // The colour icon drawn by our code: the plate mark on a transparent square of `pixels`,
    // with a margin so the shadow fits.
    static QImage renderColourIcon(int pixels);
};

}  // namespace quorel
