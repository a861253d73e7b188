#include "Symbols.h"

#include "Decoration.h"
#include "SymbolDrawings.h"

#include <QIconEngine>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace quorel {

namespace Symbols {

QStringList names()
{
    QStringList list;
    for (const auto& entry : SymbolDrawings::table()) list << QString::fromLatin1(entry.name);
    return list;
}

bool has(const QString& name) { return SymbolDrawings::find(name) != nullptr; }

QString fallbackName() { return QStringLiteral("questionmark.square.dashed"); }

void draw(QPainter& painter, const QString& name, const QRectF& rect, const QColor& colour)
{
    const double side = std::min(rect.width(), rect.height());
    if (side <= 0) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Every drawing works on a 24 x 24 grid centred in `rect`.
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    SymbolDrawings::Pen pen{painter, colour};
    if (const auto* drawing = SymbolDrawings::find(name))
        drawing->draw(pen);
    else
        SymbolDrawings::fallback(pen);
    painter.restore();
}

QPixmap pixmap(const QString& name, qreal logicalSide, const QColor& colour, qreal devicePixelRatio)
{
    const int px = std::max(1, int(std::ceil(logicalSide * devicePixelRatio)));
    QPixmap pm(px, px);
    pm.setDevicePixelRatio(devicePixelRatio);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    draw(painter, name, QRectF(0, 0, logicalSide, logicalSide), colour);
    return pm;
}

namespace {

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor colour) : name_(std::move(name)), colour_(colour) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor c = colour_;
        if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.4f);
        draw(*painter, name_, rect, c);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pm(size * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter painter(&pm);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(name_, colour_); }

private:
    QString name_;
    QColor colour_;
};

}  // namespace

QIcon icon(const QString& name, const QColor& colour) { return QIcon(new SymbolIconEngine(name, colour)); }

}  // namespace Symbols

SymbolView::SymbolView(const QString& name, int pixelSize, const QColor& colour, QWidget* parent)
    : QWidget(parent), name_(name), pixelSize_(pixelSize), colour_(colour)
{
    Decoration::mark(this);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setName(const QString& name)
{
    name_ = name;
    update();
}

void SymbolView::setColour(const QColor& colour)
{
    colour_ = colour;
    update();
}

void SymbolView::setPixelSize(int pixelSize)
{
    pixelSize_ = pixelSize;
    updateGeometry();
    update();
}

QSize SymbolView::sizeHint() const
{
    const int side = int(std::ceil(pixelSize_ * 1.25));
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF area = rect();
    const QRectF glyph(area.center().x() - pixelSize_ / 2.0, area.center().y() - pixelSize_ / 2.0, pixelSize_,
                       pixelSize_);
    QColor c = colour_;
    if (!isEnabled()) c.setAlphaF(c.alphaF() * 0.5f);
    Symbols::draw(painter, name_, glyph, c);
}

}  // namespace quorel
