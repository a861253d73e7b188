// Tab walks the controls in reading order: the sidebar from the top, then the page from its top
// row to its bottom, left to right within a row; the tray panel and the onboarding sheet alike.

#include "ShellHarness.h"

#include "MainView.h"
#include "MainWindow.h"
#include "MenuBarPanel.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "Sidebar.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// The widgets Tab visits in `window`, from its first, as Qt's focus chain orders them.
QList<QWidget*> tabStops(QWidget* window)
{
    QList<QWidget*> stops;
    QWidget* w = window;
    do {
        w = w->nextInFocusChain();
        if (w != window && w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) stops << w;
    } while (w != window && stops.size() < 500);
    return stops;
}

QRect inWindow(QWidget* w, QWidget* window) { return {w->mapTo(window, QPoint(0, 0)), w->size()}; }

QString describe(QWidget* w, QWidget* window)
{
    const QRect r = inWindow(w, window);
    QString name = w->accessibleName().isEmpty() ? w->objectName() : w->accessibleName();
    return QString("%1 '%2' (%3,%4 %5x%6)")
        .arg(w->metaObject()->className(), name)
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height());
}

// Whether `b` is read before `a`: above it, or left of it on the same row.
bool readBefore(const QRect& b, const QRect& a)
{
    const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
    return sameRow ? b.left() < a.left() : b.top() < a.top();
}

// The block a control is read in: the part of a card (StudioPanel) it sits in (a card's column
// or section), or the window.
QWidget* cardOf(QWidget* w, QWidget* window)
{
    for (QWidget* p = w; p && p != window; p = p->parentWidget())
        if (p->parentWidget() && p->parentWidget()->inherits("quorel::StudioPanel")) return p;
    return window;
}

// Consecutive stops out of reading order: a block is read whole before the next (blocks side
// by side left to right), and inside a block row by row, left to right within a row.
QStringList outOfReadingOrder(const QList<QWidget*>& stops, QWidget* window)
{
    QStringList problems;
    QList<QWidget*> cardsDone;
    for (qsizetype i = 1; i < stops.size(); ++i) {
        QWidget* cardA = cardOf(stops[i - 1], window);
        QWidget* cardB = cardOf(stops[i], window);
        const bool wrong =
            cardA == cardB ? readBefore(inWindow(stops[i], window), inWindow(stops[i - 1], window))
                           : readBefore(inWindow(cardB, window), inWindow(cardA, window)) || cardsDone.contains(cardB);
        if (cardA != cardB) cardsDone << cardA;
        if (wrong) problems << describe(stops[i - 1], window) + " -> " + describe(stops[i], window);
    }
    return problems;
}

void activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

}  // namespace

TEST(TabOrder, EveryPageFollowsReadingOrder)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.resize(1120, 900);
    activate(&window);
    for (MainTab tab : mainTab::allCases) {
        h.model->setTab(tab);
        QCoreApplication::processEvents();
        const QList<QWidget*> stops = tabStops(&window);
        // The sidebar's controls first, then the page's.
        QList<QWidget*> sidebar, page;
        for (QWidget* w : stops) (window.view()->sidebar()->isAncestorOf(w) ? sidebar : page) << w;
        EXPECT_EQ(stops.mid(0, sidebar.size()), sidebar) << mainTab::rawValue(tab).toStdString();
        EXPECT_EQ(outOfReadingOrder(sidebar, &window), QStringList());
        EXPECT_EQ(outOfReadingOrder(page, &window), QStringList()) << mainTab::rawValue(tab).toStdString();
    }
}

TEST(TabOrder, TrayPanelAndOnboardingFollowReadingOrder)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    activate(&panel);
    EXPECT_EQ(outOfReadingOrder(tabStops(&panel), &panel), QStringList());
    for (int step = 0; step < 3; ++step) {
        OnboardingState state;
        state.setStep(step);
        OnboardingView view(*h.model, state);
        activate(&view);
        EXPECT_EQ(outOfReadingOrder(tabStops(&view), &view), QStringList()) << step;
    }
}
