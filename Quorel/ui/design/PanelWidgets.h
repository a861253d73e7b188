#pragma once

#include <QColor>
#include <QFont>

class QLabel;
class QMessageBox;
class QPushButton;
class QWidget;

namespace quorel {

// Small building blocks the feature cards share.
namespace PanelWidgets {

// A label in the interface font at `pixelSize`, `weight` and `colour`.
QLabel* label(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent);
// The same label in the monospaced face.
QLabel* monoLabel(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent);
// A 1 px hairline in Studio::line(): vertical (fixed width) or horizontal (fixed height).
QWidget* hairline(Qt::Orientation orientation, QWidget* parent);
// A borderless text button in `colour` (a link-like action); dimmed while disabled.
QPushButton* textButton(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent);
// Letter spacing in pixels on a label's font.
void setTracking(QLabel* label, qreal pixels);
// Sets the text of a live reading (a level, a reduction) that changes several times a second.
// A QLabel that takes a new text asks its window for a layout pass unless its size is fixed, so
// the label is kept fixed at its own size hint: a text of the same size is drawn again and laid
// out nowhere; only a change of size lays the window out again.
void setReading(QLabel* label, const QString& text);
// Gives an alert, once its texts are set, the width to show its title in the window manager's
// title bar (beside its buttons) and its longest sentence on one line, within the screen.
void fitAlert(QMessageBox* box);

}  // namespace PanelWidgets
}  // namespace quorel
