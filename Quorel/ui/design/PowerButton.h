#pragma once

#include <QAbstractButton>

namespace quorel {

// The round-cornered processing switch of the tray panel: the "power" symbol on the accent
// gradient while processing is off, on a faint violet tint while it runs.
class PowerButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PowerButton(QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);

    QSize sizeHint() const override { return {34, 30}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_ = false;
};

}  // namespace quorel
