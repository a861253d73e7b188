#pragma once

#include <QWidget>

namespace quorel {

// The window that holds the tray panel beside the tray icon: frameless and above the others,
// it hides when it loses activation (a click elsewhere) or on Escape, as a popup does. Unlike a
// Qt::Popup it is one of the application's windows for assistive technologies: a dialog named
// "Quorel panel" whose controls a screen reader browses and reaches in reading order.
class TrayPanelWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrayPanelWindow(QWidget* content);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void retranslate();
};

}  // namespace quorel
