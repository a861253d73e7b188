#pragma once

#include "SidebarBrandIcon.h"  // the other brand artwork widget, for callers of this header

#include <QImage>
#include <QWidget>

namespace quorel {

// Shows the colour icon in a `size` x `size` square, aspect kept; without the icon resource the
// "waveform" symbol in violet, inset by 20 % on every side. Decoration: assistive technologies
// see no object for it (the texts beside it carry the meaning).
class BrandIcon : public QWidget {
    Q_OBJECT

public:
    explicit BrandIcon(qreal size, QWidget* parent = nullptr);

    qreal iconSize() const { return size_; }
    // Tests and the gallery: draw as if the icon resource were missing.
    void setIconAvailable(bool available);
    bool showsIcon() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal size_;
    bool iconAllowed_ = true;
    QImage cache_;
};

}  // namespace quorel
