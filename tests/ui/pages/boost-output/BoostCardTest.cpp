// The Boost card, its dial and the comparison switch on the real root model.
#include "BoostDial.h"
#include "BoostPanel.h"
#include "ComparisonSwitch.h"
#include "PanelFormat.h"
#include "Backdrop.h"
#include "PanelsTest.h"
#include "SelectableButton.h"
#include "StatusDot.h"
#include "StudioButton.h"
#include "StudioSlider.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace quorel;
using namespace quorel::test;

namespace {

class BoostCard : public PanelsTest {
protected:
    void SetUp() override
    {
        make();
        panel = new BoostPanel(*model, model->system());
        backdrop = std::make_unique<Backdrop>(panel);
    }
    void setBoost(float value)
    {
        model->change([value](DSPSettings& s) { s.boostDB = value; });
        flush();
    }
    BoostPanel* panel = nullptr;
    std::unique_ptr<Backdrop> backdrop;
};

}  // namespace

TEST_F(BoostCard, ButtonsStepByHalfADecibelWithoutSnapping)
{
    setBoost(3.3f);
    panel->dial()->plusButton()->click();
    EXPECT_FLOAT_EQ(model->settings().boostDB, 3.8f);
    setBoost(3.3f);
    panel->dial()->minusButton()->click();
    EXPECT_FLOAT_EQ(model->settings().boostDB, 2.8f);
    setBoost(0.3f);
    panel->dial()->minusButton()->click();
    EXPECT_EQ(model->settings().boostDB, 0);
    setBoost(11.7f);
    panel->dial()->plusButton()->click();
    EXPECT_EQ(model->settings().boostDB, 12);
}

TEST_F(BoostCard, ButtonsWriteAgainAtTheEnds)
{
    setBoost(0);
    QSignalSpy changes(model.get(), &BoostModel::settingsChanged);
    const int configured = configureCount;
    panel->dial()->minusButton()->click();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(model->settings().boostDB, 0);
    setBoost(12);
    changes.clear();
    panel->dial()->plusButton()->click();
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(model->settings().boostDB, 12);
    flush();
    EXPECT_GT(configureCount, configured);
}

TEST_F(BoostCard, SliderArrowsStepAndSnapToTheHalfDecibelGrid)
{
    StudioSlider* slider = panel->dial()->slider();
    setBoost(3.3f);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(model->settings().boostDB, 4.0f);
    setBoost(3.3f);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(model->settings().boostDB, 3.0f);
    setBoost(12);
    QSignalSpy changes(model.get(), &BoostModel::settingsChanged);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(changes.count(), 0);  // already there: the slider writes nothing
}

TEST_F(BoostCard, SliderDragLandsOnTheGrid)
{
    StudioSlider* slider = panel->dial()->slider();
    const QRectF bar = slider->barRect();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(int(bar.left() + bar.width() * 0.37), int(bar.center().y())));
    const float pressed = model->settings().boostDB;
    EXPECT_GT(pressed, 2);
    EXPECT_LT(pressed, 7);
    EXPECT_EQ(std::fmod(pressed * 2, 1.0f), 0) << pressed;
    QTest::mouseMove(slider, QPoint(int(bar.right()) + 30, int(bar.center().y())));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(int(bar.right()) + 30, int(bar.center().y())));
    EXPECT_EQ(model->settings().boostDB, 12);
}

TEST_F(BoostCard, TheGaugeTakesNoInput)
{
    setBoost(6);
    QSignalSpy changes(model.get(), &BoostModel::settingsChanged);
    QWidget* gauge = panel->dial()->gauge();
    const QPoint centre = gauge->rect().center();
    QTest::mousePress(gauge, Qt::LeftButton, {}, centre);
    QTest::mouseMove(gauge, centre + QPoint(40, -40));
    QTest::mouseRelease(gauge, Qt::LeftButton, {}, centre + QPoint(40, -40));
    QTest::mouseClick(gauge, Qt::LeftButton, {}, QPoint(5, gauge->height() - 5));
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(model->settings().boostDB, 6);
    EXPECT_EQ(gauge->focusPolicy(), Qt::NoFocus);
}

TEST_F(BoostCard, ReadoutFollowsTheSettingsAndTheLanguage)
{
    setBoost(6.5f);
    EXPECT_EQ(panel->dial()->readoutText(), "+6.5");
    setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(panel->dial()->readoutText(), "+6,5");
    EXPECT_EQ(panel->leveler().title->text(), "Nível automático");
    EXPECT_EQ(panel->dial()->slider()->label(), "Boost");
    setBoost(0);
    EXPECT_EQ(panel->dial()->readoutText(), "+0,0");
}

TEST_F(BoostCard, EffectSlidersWriteOneFieldUnscaled)
{
    StudioSlider* slider = panel->drive().slider;
    slider->setFocus();
    const DSPSettings before = model->settings();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_FLOAT_EQ(model->settings().driveAmount, before.driveAmount + 0.05f);
    EXPECT_EQ(model->settings().loudness, before.loudness);
    EXPECT_EQ(model->settings().levelerStrength, before.levelerStrength);
    EXPECT_EQ(panel->drive().percent->text(),
              QString::number(PanelFormat::percent(model->settings().driveAmount)) + "%");
}

TEST_F(BoostCard, AChangeFromElsewhereMovesTheCardWithoutWritingBack)
{
    QSignalSpy changes(model.get(), &BoostModel::settingsChanged);
    model->change([](DSPSettings& s) {
        s.loudness = 0.45f;
        s.driveAmount = 0.05f;
        s.levelerStrength = 1;
        s.boostDB = 7;
    });
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(panel->loudness().percent->text(), "45%");
    EXPECT_EQ(panel->drive().percent->text(), "5%");
    EXPECT_EQ(panel->leveler().percent->text(), "100%");
    EXPECT_FLOAT_EQ(panel->loudness().slider->value(), 0.45f);
    EXPECT_EQ(panel->dial()->value(), 7);
    setLanguage(AppLanguage::portuguese);
    flush();
    EXPECT_EQ(changes.count(), 1);
}

TEST_F(BoostCard, LevelerReadoutAndDriveDotFollowTheEngine)
{
    model->change([](DSPSettings& s) {
        s.levelerStrength = 0;
        s.driveAmount = 1;
    });
    EXPECT_FALSE(panel->levelerReadout()->isVisibleTo(panel));
    model->change([](DSPSettings& s) { s.levelerStrength = 0.5f; });
    EXPECT_FALSE(panel->levelerReadout()->isVisibleTo(panel));  // processing off
    model->system().setActive(true);
    settle();
    EXPECT_TRUE(panel->levelerReadout()->isVisibleTo(panel));
    EXPECT_EQ(panel->levelerReadout()->text(), "waiting for sound");
    EXPECT_FALSE(panel->driveShaping());

    MeterReading reading{-120, -6, -9, 0, 0, 0};
    reading.levelerMeasuring = true;
    reading.levelerLoudnessLUFS = -16.4f;
    reading.levelerGainDB = -2.5f;
    reading.driveActivity = 0.8f;
    goLive(0.5f, reading);
    EXPECT_EQ(panel->levelerReadout()->text(), "-16 LUFS · -2.5 dB");
    EXPECT_TRUE(panel->driveShaping());
    EXPECT_EQ(panel->driveDot()->toolTip(), "Drive is shaping peaks right now.");
    reading.levelerGainDB = -0.04f;
    reading.driveActivity = 0.5f;
    goLive(0.5f, reading);
    EXPECT_EQ(panel->levelerReadout()->text(), "-16 LUFS · +0.0 dB");
    model->change([](DSPSettings& s) { s.driveAmount = 0; });
    EXPECT_FALSE(panel->driveShaping());
    EXPECT_EQ(panel->driveDot()->toolTip(), "Drive is idle.");

    model->system().setActive(false);
    settle();
    EXPECT_FALSE(panel->levelerReadout()->isVisibleTo(panel));
}

TEST_F(BoostCard, OriginalReachesTheEngineBeforeAnyEventLoopTurn)
{
    model->system().setActive(true);
    settle();
    ASSERT_TRUE(engine && engine->isRunning());
    ComparisonSwitch* comparison = panel->comparisonSwitch();
    EXPECT_TRUE(comparison->processedSegment()->isSelected());
    comparison->originalSegment()->click();
    // No event processed since the click.
    EXPECT_FALSE(model->processed());
    EXPECT_FALSE(model->system().processed());
    EXPECT_FALSE(engine->processed());
    EXPECT_FALSE(model->updatePending()) << "straight to the engine, not through the settings road";
    EXPECT_TRUE(comparison->originalSegment()->isSelected());
    EXPECT_FALSE(comparison->processedSegment()->isSelected());
    // The selected segment again keeps the original path.
    comparison->originalSegment()->click();
    EXPECT_FALSE(engine->processed());
    // A change from elsewhere moves the highlight.
    model->setProcessed(true);
    EXPECT_TRUE(comparison->processedSegment()->isSelected());
}
