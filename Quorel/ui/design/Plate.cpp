#include "Plate.h"

#include <QPainter>
#include <QPainterPath>

namespace quorel {

Plate::Plate(qreal radius, const QColor& fill, QWidget* parent) : QWidget(parent), radius_(radius), fill_(fill) {}

void Plate::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius_, radius_);
    painter.fillPath(shape, fill_);
}

}  // namespace quorel
