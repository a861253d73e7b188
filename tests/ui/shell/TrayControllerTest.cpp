#include "ShellHarness.h"

#include "MenuBarPanel.h"
#include "TrayController.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>

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
    for (QAction* action : tray.menu()->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Open Quorel", "Quit"}));
    h.setLanguage(AppLanguage::portuguese);
    texts.clear();
    for (QAction* action : tray.menu()->actions())
        texts << action->text();
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
