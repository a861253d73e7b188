#include "MainWindow.h"

#include "AppMenus.h"
#include "MainView.h"
#include "Studio.h"
#include "WindowChrome.h"

#include <QCloseEvent>
#include <QMenuBar>

namespace quorel {

MainWindow::MainWindow(BoostModel& model, UpdateChecker& updater, bool logStats, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Quorel"));
    setObjectName(QStringLiteral("main"));
    view_ = new MainView(model, updater, this);
    setCentralWidget(view_);
    menus_ = new AppMenus(model, updater, menuBar(), this);
    connect(menus_, &AppMenus::quitRequested, this, &MainWindow::quitRequested);
    resize(WindowChrome::windowSize(this, WindowChrome::firstSize));
    WindowChrome::attach(this, logStats);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    emit shown();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (keepRunning_ && keepRunning_()) return;  // hidden; the tray icon brings it back
    emit quitRequested();
}

}  // namespace quorel
