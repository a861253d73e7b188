#include "StatusDot.h"

#include <QPainter>

namespace quorel {

StatusDot::StatusDot(int diameter, QWidget* parent) : QWidget(parent) { setFixedSize(diameter, diameter); }

void StatusDot::setColour(const QColor& colour)
{
    if (colour_ == colour) return;
    colour_ = colour;
    update();
}

void StatusDot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour_);
    painter.drawEllipse(QRectF(rect()));
}

}  // namespace quorel
