#pragma once

#include <QAbstractButton>

namespace quorel {

// The label of the tray panel's preset menu: the preset's symbol, its name and an up-down
// chevron on a raised rounded plate. A click opens the menu given with setMenu().
class PresetMenuButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PresetMenuButton(QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    void setMenu(class QMenu* menu) { menu_ = menu; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openMenu();

    QString symbol_;
    class QMenu* menu_ = nullptr;
};

}  // namespace quorel
