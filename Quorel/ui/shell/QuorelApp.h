#pragma once

#include "StartupOptions.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QSocketNotifier;

namespace quorel {

class BoostModel;
class MainWindow;
class SingleInstance;
class StartupTask;
class TrayController;
class TrayHostWatcher;
class UpdateChecker;

// The application: one root model (with its update checker) for the life of the process, the main
// window and (while a tray host is there) the tray icon with its panel. URLs from the command line
// and from later launches go to the root model unchanged; every quit (menu, tray, closing the
// window without a tray, SIGTERM, SIGINT) stops processing through SystemModel::shutdown(), so
// the stored on/off choice stays as it was.
class QuorelApp : public QObject {
    Q_OBJECT
public:
    QuorelApp(StartupOptions options, SingleInstance* instance, QObject* parent = nullptr);
    ~QuorelApp() override;

    BoostModel& model() const { return *model_; }
    MainWindow* window() const;
    TrayController* tray() const { return tray_; }
    TrayHostWatcher* trayHost() const { return trayHost_.get(); }
    StartupTask& startupTask() const { return *startup_; }

    // Shows the main window (the start-up task runs at its first show).
    void showWindow();
    // Ends the application: processing stops, the stored choice stays.
    void quit();
    // Whether closing the main window keeps Quorel running: only while a tray host is there.
    bool keepsRunningOnClose() const;

    // SIGTERM and SIGINT become a clean quit through a pipe that the handler writes to.
    void installSignalHandlers();

private:
    void handle(const QString& uri);

    StartupOptions options_;
    std::unique_ptr<BoostModel> model_;
    QPointer<MainWindow> window_;
    TrayController* tray_ = nullptr;
    std::unique_ptr<TrayHostWatcher> trayHost_;
    StartupTask* startup_ = nullptr;
    QSocketNotifier* signalNotifier_ = nullptr;
};

}  // namespace quorel
