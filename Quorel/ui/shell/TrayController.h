#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace quorel {

class BoostModel;
class MenuBarPanel;

// The tray icon with tooltip "Quorel" and the colour icon. A click toggles the tray panel in a
// frameless window beside the icon (TrayPanelWindow), which hides when it loses activation; hosts that open a menu
// instead get "Open Quorel" and "Quit". The icon exists only while the application says a tray
// host is there: showIcon() makes it afresh for each host that comes (Qt's tray icon does not
// find a host that starts after it), hideIcon() removes it.
class TrayController : public QObject {
    Q_OBJECT
public:
    explicit TrayController(BoostModel& model, QObject* parent = nullptr);
    ~TrayController() override;

    // Null while no icon is shown.
    QSystemTrayIcon* icon() const { return icon_; }
    QWidget* popup() const { return popup_; }
    MenuBarPanel* panel() const { return panel_; }
    QMenu* menu() const { return menu_; }

    // Shows a new icon (replacing the one before, which a host that went took with it).
    void showIcon();
    void hideIcon();

    void togglePanel();
    void showPanel();
    void hidePanel();

signals:
    void openRequested();
    void quitRequested();

private:
    void retranslate();

    BoostModel& model_;
    QSystemTrayIcon* icon_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* open_ = nullptr;
    QAction* quit_ = nullptr;
    QPointer<QWidget> popup_;
    MenuBarPanel* panel_ = nullptr;
};

}  // namespace quorel
