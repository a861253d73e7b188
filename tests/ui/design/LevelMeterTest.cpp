#include "LevelMeter.h"
#include "ReduceMotion.h"
#include "Studio.h"

#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace quorel;

// A fade draws again only the segments that change; what stays on screen must still be the
// level drawn whole, also after a fade cut short and a reading that changes no segment.
TEST(LevelMeter, TheScreenShowsTheLastLevelAfterFadesThatRepaintOnlyTheirSegments)
{
    ReduceMotion::shared().set(false);
    QWidget window;
    auto* meter = new LevelMeter(Studio::violet(), &window);
    (new QVBoxLayout(&window))->addWidget(meter);
    meter->setTitle("Input");
    window.resize(320, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const auto onScreen = [&] {
        const QRect area(meter->mapTo(&window, QPoint()), meter->size());
        return window.screen()->grabWindow(window.winId(), area.x(), area.y(), area.width(), area.height()).toImage();
    };

    meter->setLevel(-10, "-10.0");
    EXPECT_TRUE(meter->isEasing());
    QTRY_VERIFY(!meter->isEasing());
    meter->setLevel(-40, "-40.0");
    QTest::qWait(40);  // the next reading cuts this fade short
    meter->setLevel(-20, "-20.0");
    QTRY_VERIFY(!meter->isEasing());
    meter->setLevel(-21, "-21.0");  // no segment changes
    EXPECT_FALSE(meter->isEasing());
    QTest::qWait(30);
    const QImage shown = onScreen();
    EXPECT_EQ(shown, meter->grab().toImage().convertToFormat(shown.format()));
}
