#include "PanelText.h"

#include "Studio.h"

#include <QLabel>

namespace quorel::PanelText {

QLabel* label(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    auto* text = new QLabel(parent);
    text->setFont(Studio::font(pixelSize, weight));
    setColour(text, colour);
    return text;
}

QFont monoFont(int pixelSize, QFont::Weight weight)
{
    QFont font = Studio::font(pixelSize, weight);
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    return font;
}

QLabel* mono(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent)
{
    QLabel* text = label(pixelSize, weight, colour, parent);
    text->setFont(monoFont(pixelSize, weight));
    return text;
}

void setColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QLabel* badge(qreal tracking, QWidget* parent)
{
    QLabel* text = label(8, QFont::DemiBold, Studio::cyan(), parent);
    QFont font = text->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    text->setFont(font);
    return text;
}

QWidget* divider(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Studio::line());
    line->setPalette(palette);
    return line;
}

}  // namespace quorel::PanelText
