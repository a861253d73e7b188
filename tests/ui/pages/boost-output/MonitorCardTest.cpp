// The level monitor on the engine controller's readings.
#include "LevelMeter.h"
#include "MonitorPanel.h"
#include "Backdrop.h"
#include "PanelsTest.h"
#include "ReduceMotion.h"
#include "StatusDot.h"
#include "Studio.h"
#include "Symbols.h"

#include <QLabel>
#include <QTest>

using namespace quorel;
using namespace quorel::test;

namespace {

class MonitorCard : public PanelsTest {
protected:
    void SetUp() override
    {
        ReduceMotion::shared().set(false);
        make();
        panel = new MonitorPanel(*model);
        backdrop = std::make_unique<Backdrop>(panel);
    }
    void TearDown() override { ReduceMotion::shared().set(false); }
    MonitorPanel* panel = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

const QString minusInfinity = QString::fromUtf8("\u2212\u221E");
const QColor orange(255, 149, 0);

}  // namespace

TEST_F(MonitorCard, StoppedShowsSilenceAndNoReduction)
{
    EXPECT_EQ(panel->badge()->text(), "STOPPED");
    EXPECT_EQ(panel->inputMeter()->valueText(), minusInfinity);
    EXPECT_EQ(panel->outputMeter()->accessibleName(), "Output: " + minusInfinity + " dBFS");
    EXPECT_EQ(panel->reduction()->text(), "0.0");
    EXPECT_EQ(panel->shield()->colour(), Studio::withOpacity(Studio::cyan(), 0.7));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(panel->inputMeter()->segmentColour(i), QColor(255, 255, 255, 17)) << i;
}

TEST_F(MonitorCard, LiveReadingsLightTheSegmentsAndTheShield)
{
    ReduceMotion::shared().set(true);
    model->system().setActive(true);
    settle();
    EXPECT_EQ(panel->badge()->text(), "LIVE");
    EXPECT_EQ(panel->badgeDot()->colour(), Studio::cyan());
    // Waiting for the first sound: still silent.
    EXPECT_EQ(panel->inputMeter()->valueText(), minusInfinity);

    goLive(0.2427f, MeterReading{-120, -3, -6, -6.1f, 0, 0});
    EXPECT_EQ(panel->inputMeter()->valueText(), "-12.3");
    EXPECT_EQ(panel->inputMeter()->accessibleName(), "Input: -12.3 dBFS");
    EXPECT_EQ(panel->outputMeter()->valueText(), "-3.0");
    EXPECT_EQ(panel->reduction()->text(), "-6.1");
    EXPECT_EQ(panel->shield()->colour(), orange);
    // Output -3: segments 0 to 22 lit, 22 orange, 23 dark.
    for (int i = 0; i < 22; ++i) EXPECT_EQ(panel->outputMeter()->segmentColour(i), Studio::cyan()) << i;
    EXPECT_EQ(panel->outputMeter()->segmentColour(22), orange);
    EXPECT_EQ(panel->outputMeter()->segmentColour(23), QColor(255, 255, 255, 17));
    EXPECT_EQ(panel->inputMeter()->segmentColour(0), Studio::violet());

    // The reduction recovers by 1.5 dB a refresh: -4.6 then shows the cyan shield.
    goLive(0.2427f, MeterReading{-120, -3, -6, 0, 0, 0});
    EXPECT_EQ(panel->reduction()->text(), "-4.6");
    EXPECT_EQ(panel->shield()->colour(), Studio::withOpacity(Studio::cyan(), 0.7));

    setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(panel->inputMeter()->valueText(), "-12,3");
    EXPECT_EQ(panel->badge()->text(), "AO VIVO");
    EXPECT_EQ(panel->inputMeter()->title(), "Entrada");
}

TEST_F(MonitorCard, AReadingOfTheSameWidthLaysNothingOut)
{
    ReduceMotion::shared().set(true);
    goLive(0.2427f, MeterReading{-120, -3, -6, -6.1f, 0, 0});
    ASSERT_EQ(panel->reduction()->text(), "-6.1");
    QCoreApplication::processEvents();
    // Layout passes asked of the card's column and every widget above it.
    struct LayoutRequests : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::LayoutRequest) ++count;
            return false;
        }
    } requests;
    for (QWidget* w = panel->reduction()->parentWidget(); w; w = w->parentWidget()) w->installEventFilter(&requests);
    goLive(0.2427f, MeterReading{-120, -3, -6, -3.4f, 0, 0});
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->reduction()->text(), "-4.6");
    EXPECT_EQ(requests.count, 0);
    // A text of another width lays the column out again.
    model->setBlindTestRunning(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->reduction()->text(), MonitorPanel::withheld());
    EXPECT_GT(requests.count, 0);
    EXPECT_LT(panel->reduction()->width(), QFontMetrics(panel->reduction()->font()).horizontalAdvance("-4.6"));
}

TEST_F(MonitorCard, BarsEaseUnlessMotionIsReduced)
{
    LevelMeter* meter = panel->inputMeter();
    meter->setLevel(-10, "-10.0");
    EXPECT_TRUE(meter->isEasing());
    // Mid-way a changing segment is between dark and lit.
    const QColor first = meter->segmentColour(0);
    EXPECT_NE(first, Studio::violet());
    QTRY_VERIFY(!meter->isEasing());
    EXPECT_EQ(meter->segmentColour(0), Studio::violet());
    // The header text never eases.
    EXPECT_EQ(meter->valueText(), "-10.0");

    ReduceMotion::shared().set(true);
    meter->setLevel(-40, "-40.0");
    EXPECT_FALSE(meter->isEasing());
    EXPECT_EQ(meter->segmentColour(12), QColor(255, 255, 255, 17));
    EXPECT_EQ(meter->segmentColour(7), Studio::violet());
}

TEST_F(MonitorCard, NarrowBarsKeepOnePixelSegments)
{
    EXPECT_EQ(LevelMeter::segmentWidth(93), 1);
    EXPECT_EQ(LevelMeter::segmentWidth(40), 1);
    EXPECT_EQ(LevelMeter::segmentWidth(69 + 240), 10);
}

TEST_F(MonitorCard, DuringABlindTestOnlyTheInputIsShownSoNoSideIsNamed)
{
    ReduceMotion::shared().set(true);
    // The original side: the output reads the input's level and nothing is reduced.
    goLive(0.2427f, MeterReading{-120, -12.3f, -15, 0, 0, 0});
    ASSERT_EQ(panel->outputMeter()->valueText(), "-12.3");
    model->setBlindTestRunning(true);
    const QString unprocessedOutput = panel->outputMeter()->valueText();
    const QString unprocessedReduction = panel->reduction()->text();
    const QColor unprocessedShield = panel->shield()->colour();
    // The processed side: louder out, peaks reduced.
    goLive(0.2427f, MeterReading{-120, -1, -4, -7.5f, 0, 0});
    EXPECT_EQ(panel->outputMeter()->valueText(), unprocessedOutput);
    EXPECT_EQ(panel->reduction()->text(), unprocessedReduction);
    EXPECT_EQ(panel->shield()->colour(), unprocessedShield);
    EXPECT_EQ(panel->outputMeter()->valueText(), QString::fromUtf8("\u2014"));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(panel->outputMeter()->segmentColour(i), QColor(255, 255, 255, 17)) << i;
    EXPECT_EQ(panel->inputMeter()->valueText(), "-12.3");  // the same on both sides: still live

    model->setBlindTestRunning(false);
    EXPECT_EQ(panel->outputMeter()->valueText(), "-1.0");
    EXPECT_NE(panel->reduction()->text(), QString::fromUtf8("\u2014"));
}
