#include "PowerButton.h"

#include "FocusRing.h"
#include "Studio.h"
#include "Symbols.h"

#include <QPainter>
#include <QPainterPath>

namespace quorel {

PowerButton::PowerButton(QWidget* parent) : QAbstractButton(parent)
{
    setFixedSize(34, 30);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void PowerButton::setOn(bool on)
{
    on_ = on;
    update();
}

void PowerButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, 9, 9);
    if (on_)
        painter.fillPath(shape, Studio::withOpacity(Studio::violet(), 0.14));
    else
        painter.fillPath(shape, Studio::gradient(bounds));
    const QColor symbol = on_ ? Studio::violet() : Studio::rgb(0.12, 0.08, 0.25);
    Symbols::draw(painter, "power", QRectF(bounds.center().x() - 6.5, bounds.center().y() - 6.5, 13, 13), symbol);
    FocusRing::drawIfFocused(painter, *this, 9);
}

}  // namespace quorel
