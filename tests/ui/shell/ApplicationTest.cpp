#include "ShellHarness.h"

#include "MainView.h"
#include "MainWindow.h"
#include "OnboardingState.h"
#include "PresetLibrary.h"
#include "QuorelApp.h"
#include "ReduceMotion.h"
#include "StartupOptions.h"
#include "StartupTask.h"

#include <QGraphicsEffect>
#include <QMessageBox>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quorel;

TEST(Application, AnUnimportableFileArgumentShowsTheImportErrorAndChangesNothing)
{
    test::TemporaryHome home;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    QuorelApp app(StartupOptions::parse({"quorel", "--preview", home.path() + "/missing.quorelpreset"}), nullptr);
    ASSERT_TRUE(app.model().system().error());
    EXPECT_TRUE(app.model().system().error()->startsWith("Could not import the preset:"));
    EXPECT_TRUE(app.model().presets().custom().empty());
    app.showWindow();
    ASSERT_TRUE(test::waitUntil([&] { return app.window()->view()->alertBox() != nullptr; }));
    EXPECT_EQ(app.window()->view()->shownAlert(), MainView::Alert::error);
    EXPECT_FALSE(app.keepsRunningOnClose());  // offscreen: no tray host
}

TEST(Application, ClosingTheWindowQuitsWithoutATrayAndHidesWithOne)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    QSignalSpy quits(&window, &MainWindow::quitRequested);
    window.setKeepRunningOnClose([] { return true; });
    window.show();
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(quits.count(), 0);
    window.setKeepRunningOnClose([] { return false; });
    window.show();
    window.close();
    EXPECT_EQ(quits.count(), 1);
}

TEST(Application, AUrlOpenedAtLaunchWinsOverTheStoredChoice)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(SystemModel::activeKey, true);
    StartupTask task(*h.model, *h.updater, StartupOptions::parse({"quorel", "quorel://off"}));
    h.model->handle(QUrl("quorel://off"));  // as the application does with its arguments
    task.start();
    h.advance(1);
    EXPECT_FALSE(h.system().isActive());
    EXPECT_EQ(h.storedActive(), false);
}

TEST(Application, ReduceMotionReplacesThePageAtOnce)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.show();
    ReduceMotion::shared().set(true);
    h.model->setTab(MainTab::settings);
    EXPECT_FALSE(window.view()->page()->graphicsEffect());
    ReduceMotion::shared().set(false);
    h.model->setTab(MainTab::boost);
    EXPECT_TRUE(window.view()->page()->graphicsEffect());  // fades in over 0.18 s
}
