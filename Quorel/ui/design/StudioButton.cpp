#include "StudioButton.h"

#include "FocusRing.h"
#include "Studio.h"
#include "Symbols.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quorel {

namespace {
constexpr int symbolGap = 6;
}

StudioButton::StudioButton(const QString& text, bool prominent, QWidget* parent) : QAbstractButton(parent)
{
    style_.prominent = prominent;
    setText(text);
    setFont(Studio::font(StudioButtonStyle::fontPixelSize, QFont::Medium));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void StudioButton::setProminent(bool prominent)
{
    style_.prominent = prominent;
    update();
}

void StudioButton::setSymbol(const QString& symbol)
{
    symbol_ = symbol;
    updateGeometry();
    update();
}

StudioButtonLook StudioButton::currentLook() const { return style_.look(isDown(), isEnabled()); }

QSize StudioButton::sizeHint() const
{
    const QFontMetrics fm(font());
    const int glyph = StudioButtonStyle::fontPixelSize;
    int w = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    if (!symbol_.isEmpty()) w += glyph + (text().isEmpty() ? 0 : symbolGap);
    const int h = std::max(fm.height(), glyph);
    return {w + 2 * StudioButtonStyle::horizontalPadding, h + 2 * StudioButtonStyle::verticalPadding};
}

QSize StudioButton::minimumSizeHint() const { return sizeHint(); }

void StudioButton::paintEvent(QPaintEvent*)
{
    const StudioButtonLook look = currentLook();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(look.opacity);

    const QRectF bounds = rect();
    const double r = StudioButtonStyle::cornerRadius;
    QPainterPath shape;
    shape.addRoundedRect(bounds, r, r);
    painter.fillPath(shape, look.fill);
    painter.setPen(QPen(look.border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);

    const QFontMetricsF fm(font());
    const double glyph = StudioButtonStyle::fontPixelSize;
    const double textWidth = text().isEmpty() ? 0 : fm.horizontalAdvance(text());
    const double symbolWidth = symbol_.isEmpty() ? 0 : glyph + (text().isEmpty() ? 0 : symbolGap);
    double x = bounds.center().x() - (textWidth + symbolWidth) / 2;
    if (!symbol_.isEmpty()) {
        Symbols::draw(painter, symbol_, QRectF(x, bounds.center().y() - glyph / 2, glyph, glyph), look.text);
        x += symbolWidth;
    }
    if (!text().isEmpty()) {
        painter.setFont(font());
        painter.setPen(look.text);
        painter.drawText(QRectF(x, bounds.top(), textWidth + 1, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         text());
    }
    FocusRing::drawIfFocused(painter, *this, r);
}

}  // namespace quorel
