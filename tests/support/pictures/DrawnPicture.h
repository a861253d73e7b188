#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>

class QWidget;

namespace quorel::test {

// Checks of what a picture of a window shows, independent of the fonts that draw its text (so
// they hold on every Qt and font version we build with): the window background and the card
// fill in the design's colours, every card drawn where it stands and ink in every label that
// has text and is at least half in view. A changed colour, a card that is not drawn or a label
// left empty fails them.
//
// `image` is `root`'s grab (at any device pixel ratio); `name` says which picture in a failure.
void expectDrawn(const QWidget* root, const QImage& image, const QString& name);

// The colour most pixels of `area` have, and the share of the area it covers.
struct Dominant {
    QColor colour;
    double share = 0;
};
Dominant dominantColour(const QImage& image, const QRect& area);

// How many pixels of `area` lie within `tolerance` (per channel) of `colour`.
int pixelsNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance);

}  // namespace quorel::test
