#pragma once

#include <QColor>
#include <QWidget>

namespace quorel {

// A plate: a rounded rectangle filled with one colour, no border, behind whatever its layout
// holds (a banner, the segments of a segmented control).
class Plate : public QWidget {
    Q_OBJECT
public:
    Plate(qreal radius, const QColor& fill, QWidget* parent = nullptr);

    qreal radius() const { return radius_; }
    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    qreal radius_;
    QColor fill_;
};

}  // namespace quorel
