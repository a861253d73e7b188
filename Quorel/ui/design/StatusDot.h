#pragma once

#include <QColor>
#include <QWidget>

namespace quorel {

// A small filled circle that tells a state by its colour.
class StatusDot : public QWidget {
    Q_OBJECT
public:
    explicit StatusDot(int diameter, QWidget* parent = nullptr);

    QColor colour() const { return colour_; }
    void setColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour_;
};

}  // namespace quorel
