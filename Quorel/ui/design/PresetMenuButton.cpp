#include "PresetMenuButton.h"

#include "FocusRing.h"
#include "Studio.h"
#include "Symbols.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace quorel {

PresetMenuButton::PresetMenuButton(QWidget* parent) : QAbstractButton(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, &PresetMenuButton::openMenu);
}

void PresetMenuButton::setSymbol(const QString& symbol)
{
    symbol_ = symbol;
    update();
}

QSize PresetMenuButton::sizeHint() const
{
    const QFontMetrics metrics(Studio::font(11, QFont::Medium));
    return {10 + 10 + 6 + metrics.horizontalAdvance(text()) + 6 + 8 + 10, metrics.height() + 14};
}

QSize PresetMenuButton::minimumSizeHint() const
{
    const QFontMetrics metrics(Studio::font(11, QFont::Medium));
    return {60, metrics.height() + 14};
}

void PresetMenuButton::openMenu()
{
    if (menu_) menu_->popup(mapToGlobal(QPoint(0, height())));
}

void PresetMenuButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    QPainterPath plate;
    plate.addRoundedRect(bounds, 8, 8);
    painter.fillPath(plate, Studio::raised());

    const qreal midY = bounds.center().y();
    qreal x = 10;
    Symbols::draw(painter, symbol_, QRectF(x, midY - 5, 10, 10), Studio::violet());
    x += 10 + 6;
    const qreal chevronX = bounds.right() - 10 - 8;
    const QFont font = Studio::font(11, QFont::Medium);
    painter.setFont(font);
    painter.setPen(Studio::text());
    const QFontMetrics metrics(font);
    const QString shown = metrics.elidedText(text(), Qt::ElideRight, int(chevronX - 6 - x));
    painter.drawText(QRectF(x, bounds.top(), chevronX - 6 - x, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft,
                     shown);
    Symbols::draw(painter, "chevron.up.chevron.down", QRectF(chevronX, midY - 4, 8, 8), Studio::secondary());
    FocusRing::drawIfFocused(painter, *this, 8);
}

}  // namespace quorel
