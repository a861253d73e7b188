#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace quorel {

// Small helpers the feature panels share for their texts.
namespace PanelText {

// A label in the interface font at `pixelSize` and `weight`, in `colour`.
QLabel* label(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent);
// The same with the monospaced design.
QLabel* mono(int pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent);
QFont monoFont(int pixelSize, QFont::Weight weight = QFont::Normal);
void setColour(QLabel* label, const QColor& colour);
// A short status badge: 8 px semibold with letter tracking, in cyan.
QLabel* badge(qreal tracking, QWidget* parent);
// A 1 px hairline in Studio::line().
QWidget* divider(QWidget* parent);

}  // namespace PanelText

}  // namespace quorel
