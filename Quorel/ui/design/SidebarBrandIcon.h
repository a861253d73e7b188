#pragma once

#include <QImage>
#include <QWidget>

namespace quorel {

// The brand mark on its plate (Brand::drawPlateMark) at `size`; the sidebar uses 80.
// Decoration: assistive technologies skip it.
class SidebarBrandIcon : public QWidget {
    Q_OBJECT

public:
    explicit SidebarBrandIcon(qreal size = 80, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal size_;
    QImage cache_;
    qreal cacheRatio_ = 0;
};

}  // namespace quorel
