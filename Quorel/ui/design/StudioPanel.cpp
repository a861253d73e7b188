#include "StudioPanel.h"

#include "Studio.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace quorel {

StudioPanel::StudioPanel(QWidget* parent, qreal padding)
    : QWidget(parent), padding_(padding), layout_(new QVBoxLayout(this))
{
    const int p = int(std::lround(padding));
    layout_->setContentsMargins(p, p, p, p);
    layout_->setSpacing(12);
    layout_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
}

StudioPanel* StudioPanel::filling(QWidget* owner, qreal padding)
{
    auto* outer = new QVBoxLayout(owner);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* card = new StudioPanel(owner, padding);
    outer->addWidget(card);
    return card;
}

void StudioPanel::setPadding(qreal padding)
{
    padding_ = padding;
    const int p = int(std::lround(padding));
    layout_->setContentsMargins(p, p, p, p);
}

void StudioPanel::addWidget(QWidget* widget) { layout_->addWidget(widget, 0, Qt::AlignLeft); }

void StudioPanel::addFullWidth(QWidget* widget) { layout_->addWidget(widget); }

QRectF StudioPanel::outlineRect(const QRectF& bounds) { return bounds.adjusted(0.5, 0.5, -0.5, -0.5); }

void StudioPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    QPainterPath card;
    card.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.fillPath(card, Studio::panel());
    painter.setPen(QPen(Studio::line(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outlineRect(bounds), cornerRadius - 0.5, cornerRadius - 0.5);
}

}  // namespace quorel
