#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;

namespace quorel {

// Our own symbol images, drawn with QPainter in any colour and size. Names are ids (presets
// store them), spelled as the rest of the system spells them ("speaker.wave.3.fill", ...).
namespace Symbols {

// Every name with a drawing of its own.
QStringList names();
bool has(const QString& name);
// The name a missing name falls back to (a neutral rounded square with a dot).
QString fallbackName();

// Draws `name` (or the fallback) fitted into `rect` in `colour`.
void draw(QPainter& painter, const QString& name, const QRectF& rect, const QColor& colour);
// A pixmap of `logicalSide` x `logicalSide` logical pixels at `devicePixelRatio`.
QPixmap pixmap(const QString& name, qreal logicalSide, const QColor& colour, qreal devicePixelRatio);
// An icon for menus and buttons, drawn at the needed size.
QIcon icon(const QString& name, const QColor& colour);

}  // namespace Symbols

// A widget showing one symbol. Its square side is `pixelSize` x 1.25 (like a glyph with its line
// height); the drawing fills `pixelSize`, centred. Decoration (see Decoration.h).
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(const QString& name, int pixelSize, const QColor& colour, QWidget* parent = nullptr);

    QString name() const { return name_; }
    void setName(const QString& name);
    QColor colour() const { return colour_; }
    void setColour(const QColor& colour);
    int pixelSize() const { return pixelSize_; }
    void setPixelSize(int pixelSize);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    int pixelSize_;
    QColor colour_;
};

}  // namespace quorel
