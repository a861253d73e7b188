#pragma once

class QWidget;

namespace quorel::Decoration {

// Marks `widget` as decoration (brand artwork, symbols beside a text): assistive technologies get
// an interface with no role, no text, no children and no actions that is never showing, so
// they skip it; the texts beside it carry the meaning. It also takes no keyboard focus.
void mark(QWidget* widget);
bool isDecoration(const QWidget* widget);

}  // namespace quorel::Decoration
