#include "ShellHarness.h"

#include "MenuBarPanel.h"
#include "TrayController.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

TEST(TrayController, AClickTogglesThePanelAndTheMenuOffersOpenAndQuit)
{
    test::ShellHarness h;
    TrayController tray(*h.model);
    EXPECT_EQ(tray.icon(), nullptr);  // until a tray host is there
    tray.showIcon();
    ASSERT_TRUE(tray.icon());
    EXPECT_EQ(tray.icon()->toolTip(), "Quorel");
    EXPECT_FALSE(tray.icon()->icon().isNull());

    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(tray.popup());
    EXPECT_TRUE(tray.popup()->isVisible());
    EXPECT_TRUE(tray.popup()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(tray.panel()->width(), MenuBarPanel::panelWidth);
    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(tray.popup()->isVisible());

    QStringList texts;
    for (QAction* action : tray.menu()->actions()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Open Quorel", "Quit"}));
    h.setLanguage(AppLanguage::portuguese);
    texts.clear();
    for (QAction* action : tray.menu()->actions()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Abrir o Quorel", "Sair"}));

    // Quit from the menu shuts processing down first and keeps the stored choice.
    h.start();
    ASSERT_TRUE(h.system().isActive());
    QSignalSpy quits(&tray, &TrayController::quitRequested);
    tray.menu()->actions().last()->trigger();
    EXPECT_FALSE(h.system().isActive());
    EXPECT_EQ(h.storedActive(), true);
    EXPECT_EQ(quits.count(), 1);

    // "Open Quorel" in the panel hides it and asks for the window.
    emit tray.icon()->activated(QSystemTrayIcon::Trigger);
    QSignalSpy opens(&tray, &TrayController::openRequested);
    emit tray.panel()->openRequested();
    EXPECT_EQ(opens.count(), 1);
    EXPECT_FALSE(tray.popup()->isVisible());
}

// A screen reader browses the panel: a named dialog among the application's windows (a
// Qt::Popup is left out of that list), closed by Escape or by activating another window.
TEST(TrayController, ThePanelIsANamedDialogAmongTheApplicationsWindows)
{
    test::ShellHarness h;
    TrayController tray(*h.model);
    tray.showIcon();
    tray.showPanel();
    QWidget* popup = tray.popup();
    ASSERT_TRUE(popup);
    EXPECT_NE(popup->windowType(), Qt::Popup);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(popup);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->role(), QAccessible::Dialog);
    EXPECT_EQ(window->text(QAccessible::Name), "Quorel panel");
    QAccessibleInterface* application = QAccessible::queryAccessibleInterface(qApp);
    ASSERT_TRUE(application);
    EXPECT_GE(application->indexOfChild(window), 0);
    h.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(window->text(QAccessible::Name), "Painel do Quorel");
    EXPECT_EQ(popup->windowTitle(), "Painel do Quorel");

    ASSERT_TRUE(QTest::qWaitForWindowActive(popup));
    QTest::keyClick(popup, Qt::Key_Escape);
    EXPECT_FALSE(popup->isVisible());

    tray.showPanel();
    ASSERT_TRUE(QTest::qWaitForWindowActive(popup));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    for (int i = 0; i < 100 && popup->isVisible(); ++i) QTest::qWait(20);
    EXPECT_FALSE(popup->isVisible());
}
