#include "ShownRefresh.h"

#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// A shown window with a page holding the view, and a refresh that counts its runs.
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
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
    }
    bool exposed = false;
};

}  // namespace

TEST(ShownRefresh, RunsAtOnceWhileTheViewShows)
{
    Shown shown;
    ASSERT_TRUE(shown.exposed);
    shown.refresh->request();
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 2);
    EXPECT_FALSE(shown.refresh->pending());
}

TEST(ShownRefresh, AHiddenWindowRefreshesOnceWhenItShowsAgain)
{
    Shown shown;
    ASSERT_TRUE(shown.exposed);
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
    ASSERT_TRUE(shown.exposed);
    shown.page->hide();
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 0);
    shown.page->show();
    EXPECT_EQ(shown.refreshes, 1);
}

TEST(ShownRefresh, AMinimisedWindowRefreshesWhenRestored)
{
    Shown shown;
    ASSERT_TRUE(shown.exposed);
    shown.window.setWindowState(Qt::WindowMinimized);
    if (!shown.window.isMinimized()) GTEST_SKIP() << "this platform does not minimise";
    shown.refresh->request();
    EXPECT_EQ(shown.refreshes, 0);
    shown.window.setWindowState(Qt::WindowNoState);
    QTest::qWait(50);
    EXPECT_EQ(shown.refreshes, 1);
}
