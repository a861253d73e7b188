#include "QuorelApp.h"

#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "ShortcutBackend.h"
#include "MainWindow.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "QtTranslations.h"
#include "ReduceMotion.h"
#include "SingleInstance.h"
#include "StartupTask.h"
#include "SystemModel.h"
#include "TrayController.h"
#include "TrayHostWatcher.h"
#include "TrayPresence.h"
#include "UpdateChecker.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QUrl>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace quorel {

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: one write to the pipe.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

BoostModel::Options modelOptions(const StartupOptions& options)
{
    BoostModel::Options model;
    model.system.preview = options.preview;
    model.system.noPrime = options.noPrime;
    model.system.engineFactory = [] {
        return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                   std::make_shared<PulseDevices>());
    };
    return model;
}

}  // namespace

QuorelApp::QuorelApp(StartupOptions options, SingleInstance* instance, QObject* parent)
    : QObject(parent), options_(std::move(options))
{
    QApplication::setQuitOnLastWindowClosed(false);
    model_ = std::make_unique<BoostModel>(modelOptions(options_));
    ReduceMotion::shared().watchPortal();
    new QtTranslations(this);

    window_ = new MainWindow(*model_, model_->updater(), options_.logStats);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setKeepRunningOnClose([this] { return keepsRunningOnClose(); });
    connect(window_, &MainWindow::quitRequested, this, &QuorelApp::quit);

    startup_ = new StartupTask(*model_, model_->updater(), options_, this);
    connect(window_, &MainWindow::shown, startup_, &StartupTask::start);

    // The icon follows the desktop's tray host: shown anew to every host that comes (a panel
    // that starts after us or restarts), removed while there is none. Qt is not asked whether
    // a tray exists before a host is seen: it would remember the answer for the whole process.
    tray_ = new TrayController(*model_, this);
    connect(tray_, &TrayController::openRequested, this, &QuorelApp::showWindow);
    connect(tray_, &TrayController::quitRequested, this, &QuorelApp::quit);
    trayHost_ = TrayHostWatcher::forSession();
    connect(trayHost_.get(), &TrayHostWatcher::hostAppeared, tray_, &TrayController::showIcon);
    connect(trayHost_.get(), &TrayHostWatcher::availableChanged, this, [this](bool available) {
        if (!available) tray_->hideIcon();
        TrayPresence::shared().setPresent(available);
    });
    if (trayHost_->available()) tray_->showIcon();
    TrayPresence::shared().setPresent(trayHost_->available());

    if (instance) {
        connect(instance, &SingleInstance::openRequested, this, [this](const QStringList& uris) {
            for (const QString& uri : uris) handle(uri);
        });
        connect(instance, &SingleInstance::activateRequested, this, &QuorelApp::showWindow);
    }

    // Termination: processing stops, the stored choice stays.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { model_->system().shutdown(); });

    for (const QUrl& url : options_.urls) model_->handle(url);
}

MainWindow* QuorelApp::window() const { return window_.data(); }

QuorelApp::~QuorelApp()
{
    // Everything that holds the root model goes before it.
    delete startup_;
    startup_ = nullptr;
    delete window_;
    trayHost_.reset();
    delete tray_;
    tray_ = nullptr;
    TrayPresence::shared().setPresent(false);
    if (signalPipe[0] >= 0) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
    }
}

void QuorelApp::handle(const QString& uri) { model_->handle(QUrl(uri)); }

bool QuorelApp::keepsRunningOnClose() const { return trayHost_ && trayHost_->available(); }

void QuorelApp::showWindow()
{
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void QuorelApp::quit()
{
    model_->system().shutdown();
    QCoreApplication::quit();
}

void QuorelApp::installSignalHandlers()
{
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace quorel
