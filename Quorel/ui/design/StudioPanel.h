#pragma once

#include <QWidget>

class QVBoxLayout;

namespace quorel {

// A card: the content inset by `padding` on every edge, on a rounded rectangle (radius 20)
// filled with Studio::panel() and outlined inside its edge with Studio::line(). The card spans
// the width it is offered; its height is the content's. Put content into contentLayout().
class StudioPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal defaultPadding = 18;
    static constexpr qreal cornerRadius = 20;

    explicit StudioPanel(QWidget* parent = nullptr, qreal padding = defaultPadding);
    // A page's one card: a new card filling `owner` (through a layout without margins).
    static StudioPanel* filling(QWidget* owner, qreal padding = defaultPadding);

    qreal padding() const { return padding_; }
    void setPadding(qreal padding);
    // The vertical layout (spacing 12) holding the content, left-aligned.
    QVBoxLayout* contentLayout() const { return layout_; }
    // Adds `widget` to the content layout, left-aligned at its preferred width.
    void addWidget(QWidget* widget);
    // Adds `widget` to the content layout across the card's whole width (wrapped notes, lists).
    void addFullWidth(QWidget* widget);

    // The card outline for a widget rectangle: the rounded rectangle inset by half the 1 px line.
    static QRectF outlineRect(const QRectF& bounds);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal padding_;
    QVBoxLayout* layout_;
};

}  // namespace quorel
