#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

namespace quorel::ImageEffects {

// A soft shadow of `image`'s shape: its alpha blurred with a radius of `blur` pixels (three box
// passes, close to a Gaussian of that radius), tinted `colour` and moved by `offset` pixels.
QImage shadow(const QImage& image, const QColor& colour, double blur, QPointF offset);

}  // namespace quorel::ImageEffects
