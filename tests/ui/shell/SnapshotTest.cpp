// Writes the window images an outside check opens, into snapshots/ of the build tree: the five
// pages in both languages with processing on (and the Boost page off), the permission banner,
// each alert, the three onboarding steps and the tray panel in its three states; and checks
// what each shows (colours, cards, accents, text).

#include "ShellHarness.h"

#include "DrawnPicture.h"
#include "FeedKeys.h"
#include "FeedServer.h"
#include "MainView.h"
#include "MainWindow.h"
#include "MenuBarPanel.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "ProductInfo.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGraphicsEffect>
#include <QImage>
#include <QMessageBox>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

QString languageSuffix(AppLanguage language) { return language == AppLanguage::english ? "en" : "pt-BR"; }

// Writes the picture of `widget` and checks its size and what it shows.
void expectPicture(QWidget* widget, const QString& name, QSize atLeast)
{
    const QString path = test::saveSnapshot(widget, name);
    const QImage image(path);
    ASSERT_FALSE(image.isNull()) << path.toStdString();
    EXPECT_GE(image.width(), atLeast.width()) << path.toStdString();
    EXPECT_GE(image.height(), atLeast.height()) << path.toStdString();
    test::expectDrawn(widget, image, name);
}

std::unique_ptr<MainWindow> shownWindow(test::ShellHarness& h)
{
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    auto window = std::make_unique<MainWindow>(*h.model, *h.updater, false);
    window->resize(1120, 640);
    window->show();
    QCoreApplication::processEvents();
    return window;
}

}  // namespace

TEST(Snapshots, PagesInBothLanguages)
{
    for (AppLanguage language : appLanguage::allCases) {
        test::ShellHarness h;
        h.setLanguage(language);
        auto window = shownWindow(h);
        h.model->setTab(MainTab::boost);
        QCoreApplication::processEvents();
        expectPicture(window.get(), "page-boost-off-" + languageSuffix(language), {1040, 600});
        h.start();
        ASSERT_TRUE(h.system().isActive());
        for (MainTab tab : mainTab::allCases) {
            h.model->setTab(tab);
            // The new page fades in over 0.18 s.
            ASSERT_TRUE(test::waitUntil([&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return window->findChildren<QGraphicsEffect*>().isEmpty();  // new page in, old one gone
            }));
            expectPicture(window.get(), "page-" + mainTab::rawValue(tab) + "-" + languageSuffix(language), {1040, 600});
        }
    }
}

TEST(Snapshots, BannerAndAlerts)
{
    test::ShellHarness h;
    test::FeedKeys keys = test::FeedKeys::generate();
    test::FeedServer server;
    h.checkUpdatesAt(QUrl(server.url()), keys.publicBase64());
    auto window = shownWindow(h);

    h.failSilentStart();  // an error with both buttons, and the permission banner
    ASSERT_TRUE(h.system().needsPermission());
    ASSERT_TRUE(test::waitUntil([&] { return window->view()->alertBox() && window->view()->alertBox()->isVisible(); }));
    // The banner pushes the Monitor card to the foot of the view, its badge's top row in view.
    expectPicture(window.get(), "banner", {1040, 600});
    QMessageBox* error = window->view()->alertBox();
    error->adjustSize();
    expectPicture(error, "alert-error", {120, 60});
    error->escapeButton()->click();

    server.respond(200, test::signedFeed(test::sampleFeed(ProductInfo::build() + 1), keys));
    h.updater->check(true);
    ASSERT_TRUE(test::waitUntil([&] { return window->view()->shownAlert() == MainView::Alert::update; }));
    QMessageBox* update = window->view()->alertBox();
    update->adjustSize();
    expectPicture(update, "alert-update", {120, 60});
    update->escapeButton()->click();

    server.respond(200, test::signedFeed(test::sampleFeed(ProductInfo::build()), keys));
    h.updater->check(true);
    ASSERT_TRUE(test::waitUntil([&] { return window->view()->shownAlert() == MainView::Alert::updateMessage; }));
    QMessageBox* message = window->view()->alertBox();
    message->adjustSize();
    expectPicture(message, "alert-update-message", {120, 60});
}

TEST(Snapshots, OnboardingSteps)
{
    for (AppLanguage language : appLanguage::allCases) {
        test::ShellHarness h;
        h.setLanguage(language);
        OnboardingState state;
        OnboardingView view(*h.model, state);
        view.show();
        for (int step = 0; step < 3; ++step) {
            state.setStep(step);
            QCoreApplication::processEvents();
            view.adjustSize();
            expectPicture(&view, QString("onboarding-step%1-%2").arg(step + 1).arg(languageSuffix(language)),
                          {560, 200});
        }
    }
}

TEST(Snapshots, TrayPanelInItsThreeStates)
{
    for (AppLanguage language : appLanguage::allCases) {
        test::ShellHarness h;
        h.setLanguage(language);
        MenuBarPanel panel(*h.model);
        panel.adjustSize();
        panel.show();
        QCoreApplication::processEvents();
        expectPicture(&panel, "tray-panel-off-" + languageSuffix(language), {340, 250});
        h.start();
        h.model->change([](DSPSettings& s) {
            s.boostDB = 6;
            s.loudness = 0.125f;
        });
        QCoreApplication::processEvents();
        expectPicture(&panel, "tray-panel-processing-" + languageSuffix(language), {340, 250});
        h.model->setProcessed(false);
        QCoreApplication::processEvents();
        expectPicture(&panel, "tray-panel-original-" + languageSuffix(language), {340, 250});
    }
}
