#pragma once

#include <QMainWindow>

#include <functional>

namespace quorel {

class AppMenus;
class BoostModel;
class MainView;
class UpdateChecker;
class WindowChrome;

// The one main window: title "Quorel", the menus, MainView as its content, the window chrome,
// 1120 x 640 at first and never smaller than its content. Closing it asks the application
// what to do (hide while a tray icon keeps Quorel reachable, else quit).
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(BoostModel& model, UpdateChecker& updater, bool logStats, QWidget* parent = nullptr);

    MainView* view() const { return view_; }
    AppMenus* menus() const { return menus_; }

    // Decides a close: true keeps the application running (the window only hides).
    void setKeepRunningOnClose(std::function<bool()> decide) { keepRunning_ = std::move(decide); }

signals:
    // The window was shown (every time).
    void shown();
    // A close that ends the application.
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    MainView* view_;
    AppMenus* menus_;
    std::function<bool()> keepRunning_;
};

}  // namespace quorel
