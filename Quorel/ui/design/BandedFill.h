#pragma once

#include <QtGlobal>

class QPainter;
class QRectF;

namespace quorel {

// Qt's raster engine hands a translucent antialiased fill taller than about 30 device rows to its
// thread pool and waits for the pool: for many small shapes redrawn 30 times a second that
// hand-over costs far more than the fill. Drawing in bands of 16 device rows keeps the fill on
// the painting thread and gives the same pixels: the clip cuts whole rows, and neither the
// coverage nor a gradient depends on it. Uses the painter's pen and brush; leaves it unclipped.
namespace BandedFill {

void drawRoundedRect(QPainter& painter, const QRectF& rect, qreal radius);

}  // namespace BandedFill

}  // namespace quorel
