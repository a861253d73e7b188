#pragma once

#include <QBrush>
#include <QColor>

namespace quorel {

// Qt's raster engine hands a translucent solid fill of more than about 30 antialiased rows to its
// thread pool and waits for the pool: for shapes redrawn 30 times a second that hand-over costs
// many times the fill itself. A gradient whose two ends are the same colour paints the same
// pixels (the tests compare them) and is filled on the painting thread.
namespace FlatGradient {

QBrush brush(const QColor& colour);

}  // namespace FlatGradient

}  // namespace quorel
