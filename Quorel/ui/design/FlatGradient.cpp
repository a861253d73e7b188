#include "FlatGradient.h"

#include <QLinearGradient>

namespace quorel::FlatGradient {

QBrush brush(const QColor& colour)
{
    QLinearGradient flat(0, 0, 0, 1);
    flat.setColorAt(0, colour);
    flat.setColorAt(1, colour);
    return flat;
}

}  // namespace quorel::FlatGradient
