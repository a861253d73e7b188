#include "ShellHarness.h"

#include "AppMenus.h"
#include "FeedKeys.h"
#include "FeedServer.h"
#include "MainView.h"
#include "MainWindow.h"
#include "OnboardingState.h"
#include "ProductInfo.h"
#include "SettingsPanel.h"
#include "Sidebar.h"
#include "StudioButton.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>
#include <iostream>

using namespace quorel;

namespace {

// A shown main window on the harness's models, with the first-run sheet already done.
struct Window {
    explicit Window(test::ShellHarness& h, bool onboardingDone = true)
    {
        if (onboardingDone) UserDefaults::standard().setBoolean(OnboardingState::key, true);
        window = std::make_unique<MainWindow>(*h.model, *h.updater, false);
        window->show();
        QCoreApplication::processEvents();
    }
    MainView* view() const { return window->view(); }
    std::unique_ptr<MainWindow> window;
};

QStringList buttonTexts(QMessageBox* box)
{
    QStringList texts;
    QList<QAbstractButton*> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    for (QAbstractButton* button : buttons) texts << button->text();
    return texts;
}

QAbstractButton* button(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return b;
    return nullptr;
}

bool waitForAlert(MainView* view)
{
    return test::waitUntil([&] { return view->alertBox() && view->alertBox()->isVisible(); });
}

}  // namespace

TEST(MainView, AnErrorWithoutFlagsShowsOkOnlyAndOkClearsIt)
{
    test::ShellHarness h;
    Window w(h);
    h.system().setError(QString("The output went away."));
    ASSERT_TRUE(waitForAlert(w.view()));
    QMessageBox* box = w.view()->alertBox();
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "System audio");
    EXPECT_EQ(box->informativeText(), "The output went away.");
    EXPECT_EQ(buttonTexts(box), QStringList{"OK"});
    button(box, "OK")->click();
    EXPECT_FALSE(h.system().errorMessage());
    EXPECT_TRUE(test::waitUntil([&] { return !w.view()->alertBox(); }));
}

TEST(MainView, APermissionErrorOffersSoundSettingsThatOpenBeforeTheErrorClears)
{
    test::ShellHarness h;
    Window w(h);
    h.backend->tapStatus = AudioBackend::Status(0x6E6F7065);
    h.start();
    ASSERT_TRUE(h.system().needsPermission());
    ASSERT_TRUE(waitForAlert(w.view()));
    QMessageBox* box = w.view()->alertBox();
    EXPECT_EQ(buttonTexts(box), (QStringList{"Open sound settings", "OK"}));
    // The banner shows between the header and the page.
    EXPECT_TRUE(w.view()->banner()->isVisibleTo(w.view()));

    QStringList order;
    h.soundSettingsOpened = 0;
    QObject::connect(&h.system(), &SystemModel::errorChanged, [&] {
        if (!h.system().errorMessage() && !order.contains("clear"))
            order << (h.soundSettingsOpened ? "clear" : "clear before open");
    });
    button(box, "Open sound settings")->click();
    EXPECT_EQ(h.soundSettingsOpened, 1);
    EXPECT_EQ(order, QStringList{"clear"});
    EXPECT_FALSE(h.system().errorMessage());
}

TEST(MainView, BothFlagsGiveThreeButtonsInOrderAndRestartClearsFirst)
{
    test::ShellHarness h;
    Window w(h);
    h.failSilentStart();
    ASSERT_TRUE(h.system().needsPermission());
    ASSERT_TRUE(h.system().canRestartAudioService());
    ASSERT_TRUE(waitForAlert(w.view()));
    QMessageBox* box = w.view()->alertBox();
    EXPECT_EQ(buttonTexts(box), (QStringList{"Restart audio service", "Open sound settings", "OK"}));
    QStringList order;
    QObject::connect(&h.system(), &SystemModel::errorChanged, [&] {
        if (!h.system().errorMessage() && order.isEmpty()) order << (h.restarts == 0 ? "clear" : "restart");
    });
    button(box, "Restart audio service")->click();
    h.settle();
    EXPECT_EQ(order, QStringList{"clear"});
    EXPECT_TRUE(test::waitUntil([&] { return h.restarts == 1; }));
}

TEST(MainView, RepeatedStallsOfferTheRestartWithoutSoundSettings)
{
    test::ShellHarness h;
    Window w(h);
    h.backend->sourceRunning = true;
    h.start();
    for (int stall = 1; stall <= 4; ++stall) {
        h.backend->runCycle(512, 0.1f);
        h.advance(3.5);
        if (stall < 4) h.advance(1.1);
    }
    ASSERT_TRUE(h.system().canRestartAudioService());
    ASSERT_FALSE(h.system().needsPermission());
    ASSERT_TRUE(waitForAlert(w.view()));
    EXPECT_EQ(buttonTexts(w.view()->alertBox()), (QStringList{"Restart audio service", "OK"}));
    EXPECT_FALSE(w.view()->banner()->isVisibleTo(w.view()));
}

TEST(MainView, EscapeClosesTheErrorAlertAndClearsOnlyItsValue)
{
    test::ShellHarness h;
    test::FeedKeys keys = test::FeedKeys::generate();
    test::FeedServer server;
    server.respond(200, test::signedFeed(test::sampleFeed(ProductInfo::build() + 1), keys));
    h.checkUpdatesAt(QUrl(server.url()), keys.publicBase64());
    Window w(h);

    h.system().setError(QString("First."));
    ASSERT_TRUE(waitForAlert(w.view()));
    h.updater->check(true);
    ASSERT_TRUE(test::waitUntil([&] { return !h.updater->checking(); }));
    ASSERT_TRUE(h.updater->available());
    // One at a time: the error alert stays until it is closed.
    EXPECT_EQ(w.view()->shownAlert(), MainView::Alert::error);
    QTest::keyClick(w.view()->alertBox(), Qt::Key_Escape);
    EXPECT_FALSE(h.system().errorMessage());
    EXPECT_TRUE(h.updater->available());  // untouched
    ASSERT_TRUE(test::waitUntil([&] { return w.view()->shownAlert() == MainView::Alert::update; }));
    QMessageBox* box = w.view()->alertBox();
    EXPECT_EQ(box->text(), "Update available");
    EXPECT_TRUE(box->informativeText().startsWith("Version 2.0.1 is available."));
    EXPECT_EQ(buttonTexts(box), (QStringList{"Download", "Later"}));

    test::UrlCatcher catcher("https");
    ASSERT_TRUE(h.updater->available());
    ASSERT_TRUE(button(box, "Download"));
    button(box, "Download")->click();
    EXPECT_EQ(catcher.urls.size(), 1);
    EXPECT_FALSE(h.updater->available());
}

TEST(MainView, TheUpdateMessageAlertClearsOnlyTheMessage)
{
    test::ShellHarness h;
    Window w(h);
    h.updater->check(true);  // nothing answers: a manual check reports its failure
    ASSERT_TRUE(test::waitUntil([&] { return !h.updater->checking(); }));
    ASSERT_TRUE(h.updater->localizedMessage());
    ASSERT_TRUE(waitForAlert(w.view()));
    QMessageBox* box = w.view()->alertBox();
    EXPECT_EQ(box->text(), "Updates");
    EXPECT_EQ(buttonTexts(box), QStringList{"OK"});
    h.system().setError(QString("Later error."));
    button(box, "OK")->click();
    EXPECT_FALSE(h.updater->localizedMessage());
    EXPECT_TRUE(h.system().errorMessage());
    ASSERT_TRUE(test::waitUntil([&] { return w.view()->shownAlert() == MainView::Alert::error; }));
}

TEST(MainView, PagesAreBuiltAnewPerTabAndTheSettingsPageIsWhole)
{
    test::ShellHarness h;
    Window w(h);
    QPointer<QWidget> first = w.view()->page();
    h.model->setTab(MainTab::settings);
    EXPECT_EQ(w.view()->pageTitle()->text(), "Settings");
    EXPECT_EQ(w.view()->pageSubtitle()->text(), mainTab::subtitle(MainTab::settings));
    ASSERT_TRUE(qobject_cast<SettingsPanel*>(w.view()->page()));
    QPointer<QWidget> settings = w.view()->page();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    h.model->setTab(MainTab::boost);
    h.model->setTab(MainTab::settings);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(settings.isNull());  // a new page, with a new login-item state
    EXPECT_TRUE(qobject_cast<SettingsPanel*>(w.view()->page()));
    EXPECT_FALSE(w.view()->banner()->isVisibleTo(w.view()));
    EXPECT_GE(w.window->minimumSizeHint().width(), 1040);
}

TEST(MainView, EachPageOpensAtItsTop)
{
    test::ShellHarness h;
    Window w(h);
    w.window->resize(1120, 640);
    QCoreApplication::processEvents();
    QScrollBar* bar = w.view()->scrollArea()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the Boost page is taller than the window";
    bar->setValue(bar->maximum());
    QTest::keyClick(w.window.get(), Qt::Key_2, Qt::ControlModifier);
    ASSERT_EQ(h.model->tab(), MainTab::equalizer);
    QCoreApplication::processEvents();
    ASSERT_GT(bar->maximum(), 0) << "the Equalizer page is taller than the window";
    EXPECT_EQ(bar->value(), 0) << "the header of the new page is in view";
}

TEST(MainView, CtrlDigitsChooseThePagesAndCtrlMFollowsActivity)
{
    test::ShellHarness h;
    Window w(h);
    w.window->activateWindow();
    const MainTab tabs[] = {MainTab::boost, MainTab::equalizer, MainTab::automation, MainTab::output,
                            MainTab::settings};
    for (int i = 5; i >= 1; --i) {
        QTest::keyClick(w.window.get(), Qt::Key(Qt::Key_0 + i), Qt::ControlModifier);
        EXPECT_EQ(h.model->tab(), tabs[i - 1]) << i;
    }
    AppMenus* menus = w.window->menus();
    EXPECT_EQ(menus->toggleAction()->text(), "&Process all system audio");
    EXPECT_EQ(menus->toggleAction()->shortcut(), QKeySequence("Ctrl+M"));
    QTest::keyClick(w.window.get(), Qt::Key_M, Qt::ControlModifier);
    h.settle();
    ASSERT_TRUE(h.system().isActive());
    EXPECT_EQ(menus->toggleAction()->text(), "&Turn off system audio processing");
    EXPECT_EQ(h.storedActive(), true);
    QTest::keyClick(w.window.get(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_FALSE(h.model->processed());
    EXPECT_FALSE(h.system().processed());
    // No output volume to set here: the item is disabled and the shortcut does nothing.
    EXPECT_FALSE(menus->volumeAction()->isEnabled());
    EXPECT_EQ(menus->volumeAction()->shortcut(), QKeySequence("Ctrl+Shift+M"));
    QTest::keyClick(w.window.get(), Qt::Key_M, Qt::ControlModifier);
    h.settle();
    EXPECT_FALSE(h.system().isActive());
    EXPECT_EQ(menus->toggleAction()->text(), "&Process all system audio");
    EXPECT_EQ(menus->closeWindowAction()->shortcut(), QKeySequence("Ctrl+W"));
    EXPECT_EQ(menus->quitAction()->shortcut(), QKeySequence("Ctrl+Q"));
}

TEST(MainView, NoEnglishIsLeftAfterASwitchToPortuguese)
{
    test::ShellHarness h;
    Window w(h);
    h.start();
    h.setLanguage(AppLanguage::portuguese);
    for (MainTab tab : mainTab::allCases) {
        h.model->setTab(tab);
        QCoreApplication::processEvents();
        // A shown text that the Portuguese table renders differently is an English key left over.
        for (const QString& text : test::visibleTexts(w.window.get()))
            EXPECT_EQ(L10n::render(text, {}, AppLanguage::portuguese), text) << "English left: " << text.toStdString();
    }
    for (QAction* action : w.window->menuBar()->actions())
        EXPECT_EQ(L10n::render(action->text(), {}, AppLanguage::portuguese), action->text());
    EXPECT_EQ(w.window->menus()->toggleAction()->text(),
              QString::fromUtf8("&Desligar o processamento do áudio do sistema"));
}

namespace {

// The mnemonic letter of a menu text ('&' before it), or a null character.
QChar mnemonic(const QString& text)
{
    const qsizetype at = text.indexOf(u'&');
    return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
}

// Texts of one menu (or the bar) whose mnemonic is missing or taken by an earlier text.
QStringList mnemonicProblems(const QList<QAction*>& actions)
{
    QStringList problems;
    QSet<QChar> taken;
    for (QAction* action : actions) {
        if (action->isSeparator()) continue;
        const QChar key = mnemonic(action->text());
        if (key.isNull() || taken.contains(key)) problems << action->text();
        taken.insert(key);
    }
    return problems;
}

}  // namespace

TEST(MainView, TheMenusAreReachableByKeyboardInBothLanguages)
{
    test::ShellHarness h;
    Window w(h);
    AppMenus* menus = w.window->menus();
    for (AppLanguage language : appLanguage::allCases) {
        h.setLanguage(language);
        for (bool active : {false, true}) {
            if (active) h.start();
            menus->refresh();
            EXPECT_EQ(mnemonicProblems(w.window->menuBar()->actions()), QStringList());
            for (QMenu* menu : {menus->applicationMenu(), menus->processingMenu(), menus->sectionMenu()})
                EXPECT_EQ(mnemonicProblems(menu->actions()), QStringList()) << menu->title().toStdString();
        }
        h.system().setActive(false);
        h.settle();
    }
    h.setLanguage(AppLanguage::english);
    EXPECT_EQ(menus->applicationMenu()->title(), "&Quorel");

    // F10 opens the first menu, as GNOME and KDE do.
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window.get()));
    QTest::keyClick(w.window.get(), Qt::Key_F10);
    EXPECT_EQ(w.window->menuBar()->activeAction(), menus->applicationMenu()->menuAction());
    EXPECT_TRUE(QTest::qWaitFor([&] { return menus->applicationMenu()->isVisible(); }, 2000));
    menus->applicationMenu()->close();
}
