// Every control that takes keyboard focus draws the one focus ring: each is focused by Tab in
// its own window, grabbed, and the ring's pixels checked along its left and top edges (and
// absent once the focus has gone, or when the focus came from a click or the window opening).
// The images go to snapshots/focus-*.png.

#include "ShellHarness.h"

#include "ComparisonSwitch.h"
#include "FocusRing.h"
#include "HeadphonePanel.h"
#include "MainView.h"
#include "MainWindow.h"
#include "MenuBarPanel.h"
#include "OnboardingState.h"
#include "OnboardingView.h"
#include "PowerButton.h"
#include "PresetMenuButton.h"
#include "SelectableButton.h"
#include "StudioButton.h"
#include "Sidebar.h"
#include "StudioSlider.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QImage>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

bool isRing(QRgb pixel)
{
    const QColor ring = FocusRing::colour();
    return std::abs(qRed(pixel) - ring.red()) <= 2 && std::abs(qGreen(pixel) - ring.green()) <= 2
           && std::abs(qBlue(pixel) - ring.blue()) <= 2;
}

// Whether the ring runs along the middle of the left edge and of the top edge of `image`.
bool ringDrawn(const QImage& image)
{
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    const qreal ratio = image.devicePixelRatio();
    const int inside = int(ratio);  // the second device pixel of the 2-px ring
    return isRing(img.pixel(inside, img.height() / 2)) && isRing(img.pixel(img.width() / 2, inside));
}

void activate(QWidget* window)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// Focuses `control` as Tab would, checks the ring, saves the picture, and checks that the ring
// goes with the focus.
void expectRing(QWidget* control, const QString& name)
{
    SCOPED_TRACE(name.toStdString());
    ASSERT_NE(control->focusPolicy() & Qt::TabFocus, 0);
    control->clearFocus();  // the window may have given it the focus when it opened
    control->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(control->hasFocus());
    const QImage focused = control->grab().toImage();
    focused.save(test::snapshotFolder() + "/focus-" + name + ".png");
    EXPECT_TRUE(ringDrawn(focused));
    control->clearFocus();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ringDrawn(control->grab().toImage()));
}

}  // namespace

TEST(FocusRings, SidebarAndPageControlsDrawTheRing)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.resize(1120, 640);
    activate(&window);
    Sidebar* sidebar = window.view()->sidebar();
    for (size_t i = 0; i < sidebar->items().size(); ++i)
        expectRing(sidebar->items()[i], QString("sidebar-row-%1").arg(i + 1));
    expectRing(sidebar->websiteLink(), "website-link");
    expectRing(sidebar->powerSwitch(), "sidebar-power");
    // The headphone profile menu on the Output page.
    h.model->setTab(MainTab::output);
    QCoreApplication::processEvents();
    auto* headphones = window.view()->page()->findChild<HeadphonePanel*>();
    ASSERT_TRUE(headphones);
    expectRing(headphones->menuButton(), "headphone-profile-menu");
    // Nothing is drawn for the scroll area, so it takes no Tab stop.
    EXPECT_EQ(window.view()->scrollArea()->focusPolicy(), Qt::NoFocus);
}

TEST(FocusRings, TrayPanelControlsDrawTheRing)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    activate(&panel);
    expectRing(panel.powerButton(), "tray-power");
    expectRing(panel.presetButton(), "tray-preset-menu");
    expectRing(panel.comparisonSwitch()->originalSegment(), "switch-original");
    expectRing(panel.comparisonSwitch()->processedSegment(), "switch-processed");
    expectRing(panel.openButton(), "tray-open");
}

TEST(FocusRings, OnboardingPresetCardsDrawTheRing)
{
    test::ShellHarness h;
    OnboardingState state;
    state.setStep(2);
    OnboardingView view(*h.model, state);
    activate(&view);
    ASSERT_EQ(view.presetCards().size(), 4);
    for (int i = 0; i < view.presetCards().size(); ++i)
        expectRing(view.presetCards()[i], QString("onboarding-card-%1").arg(i + 1));
}

TEST(FocusRings, OnlyFocusFromTheKeyboardShowsTheRing)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    activate(&panel);
    QWidget* power = panel.powerButton();
    // The first control of a window that opens, and a control clicked, show no ring.
    power->setFocus(Qt::ActiveWindowFocusReason);
    QCoreApplication::processEvents();
    ASSERT_TRUE(power->hasFocus());
    EXPECT_FALSE(ringDrawn(power->grab().toImage()));
    power->clearFocus();
    power->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ringDrawn(power->grab().toImage()));
    power->clearFocus();
    power->setFocus(Qt::BacktabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ringDrawn(power->grab().toImage()));
}

TEST(FocusRings, OnboardingKeepsTheFocusOnTheControlUsedNotOnSkip)
{
    test::ShellHarness h;
    OnboardingState state;
    state.setStep(2);
    OnboardingView view(*h.model, state);
    activate(&view);
    // A preset card clicked: the step is built again; the focus stays on that card, with no ring.
    QTest::mouseClick(view.presetCards()[1], Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(view.presetCards().size(), 4);
    EXPECT_NE(QApplication::focusWidget(), view.skipButton()) << "Space would skip";
    EXPECT_EQ(QApplication::focusWidget(), view.presetCards()[1]);
    EXPECT_FALSE(FocusRing::showsRing(*view.presetCards()[1]));
    // Chosen from the keyboard, the new card keeps the ring.
    view.presetCards()[2]->setFocus(Qt::TabFocusReason);
    QTest::keyClick(view.presetCards()[2], Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), view.presetCards()[2]);
    EXPECT_TRUE(FocusRing::showsRing(*view.presetCards()[2]));

    // "Enable now" clicked turns into "Processing is active", disabled: the focus goes on.
    state.setStep(1);
    QCoreApplication::processEvents();
    ASSERT_TRUE(view.enableButton());
    QTest::mouseClick(view.enableButton(), Qt::LeftButton);
    h.settle();
    QCoreApplication::processEvents();
    ASSERT_TRUE(h.system().isActive());
    EXPECT_NE(QApplication::focusWidget(), view.skipButton()) << "Space would skip";
    EXPECT_EQ(QApplication::focusWidget(), view.forwardButton());
}

TEST(FocusRings, AClickedSidebarRowLeavesNoRing)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    MainWindow window(*h.model, *h.updater, false);
    window.resize(1120, 640);
    activate(&window);
    // A slider of the Boost page dragged with the mouse holds the focus, without a ring.
    auto* slider = window.view()->page()->findChild<StudioSlider*>();
    ASSERT_TRUE(slider);
    QTest::mouseClick(slider, Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), slider);
    // The Equalizer row clicked: the Boost page goes, and its focus must not turn into a ring
    // elsewhere (the website link first in line).
    QTest::mouseClick(window.view()->sidebar()->items()[1], Qt::LeftButton);
    QCoreApplication::processEvents();
    for (QWidget* widget : window.findChildren<QWidget*>())
        EXPECT_FALSE(FocusRing::showsRing(*widget)) << widget->metaObject()->className();
}
