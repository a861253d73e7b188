#include "ShownRefresh.h"

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// A window with a page holding the view, and a refresh that counts its runs.
struct Shown {
    QWidget window;
    QWidget* page = new QWidget(&window);
    QWidget* view = new QWidget(page);
    int refreshes = 0;
    ShownRefresh* refresh = new ShownRefresh(view, [this] { ++refreshes; });

    Shown()
    {
        (new QVBoxLayout(&window))->addWidget(page);
        (new QVBoxLayout(page))->addWidget(view);
        window.resize(200, 200);
    }
};

}  // namespace

TEST(ShownRefresh, RunsAtOnceWhileTheViewShows)
{
    Shown shown;
    shown.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    shown.refresh->request();
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 2);
    EXPECT_FALSE(shown.refresh->pending());
}

TEST(ShownRefresh, AHiddenWindowRefreshesOnceWhenItShowsAgain)
{
    Shown shown;
    shown.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    shown.window.hide();
    for (int i = 0; i < 5; ++i) shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 0);
    EXPECT_TRUE(shown.refresh->pending());
    shown.window.show();
    EXPECT_EQ(shown.refreshes, 1);
    EXPECT_FALSE(shown.refresh->pending());
    shown.window.hide();
    shown.window.show();
    EXPECT_EQ(shown.refreshes, 1) << "showing again with nothing waiting runs nothing";
}

TEST(ShownRefresh, AHiddenPageInAShownWindowWaitsForThePage)
{
    Shown shown;
    shown.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    shown.page->hide();
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 0);
    shown.page->show();
    EXPECT_EQ(shown.refreshes, 1);
}

TEST(ShownRefresh, AMinimisedWindowRefreshesWhenRestored)
{
    Shown shown;
    shown.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
    shown.window.setWindowState(Qt::WindowMinimized);
    if (!shown.window.isMinimized()) GTEST_SKIP() << "this platform does not minimise";
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 0);
    shown.window.setWindowState(Qt::WindowNoState);
    QTest::qWait(50);
    EXPECT_EQ(shown.refreshes, 1);
}
