#include "Studio.h"

#include <QApplication>
#include <QStyleFactory>

namespace quorel {

QColor Studio::rgb(double r, double g, double b, double alpha)
{
    return QColor::fromRgbF(float(r), float(g), float(b), float(alpha));
}

QColor Studio::withOpacity(const QColor& colour, double opacity)
{
    QColor c = colour;
    c.setAlphaF(float(colour.alphaF() * opacity));
    return c;
}

QColor Studio::background()
{
    static const QColor c = rgb(0.047, 0.051, 0.071);
    return c;
}
QColor Studio::panel()
{
    static const QColor c = rgb(0.085, 0.089, 0.121);
    return c;
}
QColor Studio::raised()
{
    static const QColor c = rgb(0.117, 0.121, 0.165);
    return c;
}
QColor Studio::line()
{
    static const QColor c = rgb(1, 1, 1, 0.085);
    return c;
}
QColor Studio::text()
{
    static const QColor c = rgb(0.955, 0.953, 0.985);
    return c;
}
QColor Studio::secondary()
{
    static const QColor c = rgb(0.63, 0.65, 0.72);
    return c;
}
QColor Studio::violet()
{
    static const QColor c = rgb(0.68, 0.61, 1.0);
    return c;
}
QColor Studio::cyan()
{
    static const QColor c = rgb(0.43, 0.85, 0.79);
    return c;
}
QColor Studio::warning()
{
    static const QColor c(255, 149, 0);
    return c;
}
QColor Studio::gradientStart()
{
    static const QColor c = rgb(0.76, 0.68, 1.0);
    return c;
}
QColor Studio::gradientEnd()
{
    static const QColor c = rgb(0.46, 0.37, 0.91);
    return c;
}

QLinearGradient Studio::gradient(const QRectF& rect)
{
    QLinearGradient g(rect.topLeft(), rect.bottomRight());
    g.setColorAt(0, gradientStart());
    g.setColorAt(1, gradientEnd());
    return g;
}

QFont Studio::font(int pixelSize, QFont::Weight weight)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QPalette Studio::palette()
{
    // Opaque blends of the translucent line colour, for roles that cannot be translucent.
    const QColor base = rgb(0.065, 0.069, 0.095);
    const QColor button = raised();
    const QColor disabledText = withOpacity(secondary(), 0.5);

    QPalette p;
    p.setColor(QPalette::Window, background());
    p.setColor(QPalette::WindowText, text());
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, panel());
    p.setColor(QPalette::ToolTipBase, raised());
    p.setColor(QPalette::ToolTipText, text());
    p.setColor(QPalette::PlaceholderText, secondary());
    p.setColor(QPalette::Text, text());
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text());
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, rgb(0.2, 0.205, 0.26));
    p.setColor(QPalette::Midlight, rgb(0.16, 0.165, 0.215));
    p.setColor(QPalette::Mid, rgb(0.1, 0.104, 0.14));
    p.setColor(QPalette::Dark, rgb(0.03, 0.032, 0.045));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, withOpacity(violet(), 0.85));
    p.setColor(QPalette::HighlightedText, rgb(0.12, 0.08, 0.25));
    p.setColor(QPalette::Link, violet());
    p.setColor(QPalette::LinkVisited, violet());
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, withOpacity(violet(), 0.3));
    return p;
}

void Studio::install(QApplication& app)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    app.setPalette(palette());
    app.setFont(font(13));
}

}  // namespace quorel
