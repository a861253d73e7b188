#include "QREffects.h"
#include "QRUtilityUnit.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace quorel {
namespace {

using test::Channels;
using test::prepareUnit;
using test::renderThrough;

TEST(UtilityUnit, GainRampRisesLinearlyOverTwentyMilliseconds)
{
    QRUtilityUnit unit;
    unit.setGain(0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    unit.setGain(1);
    EXPECT_FALSE(unit.gainHasSettled());

    const Channels out = renderThrough(unit, {std::vector<float>(1000, 1.0f)}, 500);
    for (int i = 0; i < 960; ++i) ASSERT_NEAR(out[0][i], float(i + 1) / 960.0f, 1e-5f) << i;
    EXPECT_EQ(out[0][959], 1.0f);  // the ramp ends exactly on its target
    EXPECT_EQ(out[0][999], 1.0f);
    EXPECT_TRUE(unit.gainHasSettled());
}

TEST(UtilityUnit, GainSettlesOnlyAfterARenderCallEndsPastTheRamp)
{
    QRUtilityUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    unit.setGain(0.5f);
    const std::vector<float> ones(480, 1.0f);
    renderThrough(unit, {ones, ones}, 480);
    EXPECT_FALSE(unit.gainHasSettled());
    renderThrough(unit, {ones, ones}, 480);
    EXPECT_TRUE(unit.gainHasSettled());
}

TEST(UtilityUnit, NewTargetDuringARampRestartsFromTheCurrentGain)
{
    QRUtilityUnit unit;
    unit.setGain(0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    unit.setGain(1);
    Channels out = renderThrough(unit, {std::vector<float>(480, 1.0f)}, 480);
    const float reached = out[0][479];
    EXPECT_NEAR(reached, 0.5f, 1e-5f);
    unit.setGain(0);
    out = renderThrough(unit, {std::vector<float>(960, 1.0f)}, 960);
    EXPECT_NEAR(out[0][0], reached - reached / 960.0f, 1e-5f);
    EXPECT_EQ(out[0][959], 0.0f);
}

TEST(UtilityUnit, GainIsClampedAndNotFiniteGainMutes)
{
    QRUtilityUnit unit;
    unit.setGain(20);
    EXPECT_EQ(unit.state().parameters.latest().targetGain, 16.0f);
    unit.setGain(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(unit.state().parameters.latest().targetGain, 0.0f);
    unit.setGain(-3);
    EXPECT_EQ(unit.state().parameters.latest().targetGain, 0.0f);
}

TEST(UtilityUnit, AllocationAndResetJumpToTheTargetGain)
{
    QRUtilityUnit unit;
    unit.setGain(0.25f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    EXPECT_TRUE(unit.gainHasSettled());
    Channels out = renderThrough(unit, {std::vector<float>(4, 1.0f)});
    EXPECT_EQ(out[0][0], 0.25f);
    unit.setGain(4);
    unit.reset();
    out = renderThrough(unit, {std::vector<float>(4, 0.5f)});
    EXPECT_EQ(out[0][0], 2.0f);
}

// A restart resets the unit on the render thread while the control thread publishes: the reset
// reads what was published to the render side only (under ThreadSanitizer, reading the
// writer's own block there is a race).
TEST(UtilityUnit, ResetOnTheRenderThreadWhileGainsArePublished)
{
    QRUtilityUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    std::atomic<bool> done{false};
    std::thread render([&] {
        const std::vector<float> ones(64, 1.0f);
        while (!done) {
            unit.reset();
            renderThrough(unit, {ones}, 64);
        }
    });
    for (int i = 0; i < 2000; ++i) unit.setGain(float(i % 4) / 4.0f);
    unit.setGain(0.5f);
    done = true;
    render.join();
    unit.reset();
    EXPECT_EQ(renderThrough(unit, {std::vector<float>(8, 1.0f)}, 8)[0][7], 0.5f);
}

TEST(UtilityUnit, DelaysByWholeFramesAcrossCallBoundaries)
{
    QRUtilityUnit unit;
    unit.configureDelay(480, 0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    const std::vector<float> left = test::whiteNoise(0.5, 5000, 1);
    const std::vector<float> right = test::whiteNoise(0.5, 5000, 2);
    const Channels out = renderThrough(unit, {left, right}, 333);
    for (size_t i = 0; i < 480; ++i) ASSERT_EQ(out[0][i], 0.0f);
    for (size_t i = 480; i < 5000; ++i) {
        ASSERT_EQ(out[0][i], left[i - 480]) << i;
        ASSERT_EQ(out[1][i], right[i - 480]) << i;
    }
}

// A muted unit outputs silence without reading its line, but keeps filling it: unmuted, it
// hands out the frames that entered while it was muted, on time.
TEST(UtilityUnit, MutedUnitKeepsItsDelayLineFilled)
{
    QRUtilityUnit unit;
    unit.setGain(0);
    unit.configureDelay(480, 0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    const std::vector<float> left = test::whiteNoise(0.5, 4800, 4);
    const std::vector<float> right = test::whiteNoise(0.5, 4800, 5);
    Channels out = renderThrough(unit, {left, right}, 300);
    for (size_t i = 0; i < out[0].size(); ++i) ASSERT_EQ(out[0][i], 0.0f) << i;
    EXPECT_EQ(unit.readMeter().outputPeak, 0.0f);
    EXPECT_GT(unit.readMeter().inputPeak, 0.4f);

    // Unmuted, the first frames out are the last 480 that entered while muted, under the ramp.
    unit.setGain(1);
    out = renderThrough(unit, {std::vector<float>(480, 0.0f), std::vector<float>(480, 0.0f)}, 480);
    for (size_t i = 0; i < 480; ++i) {
        const float gain = float(i + 1) / 960.0f;
        ASSERT_NEAR(out[0][i], left[4320 + i] * gain, 1e-5f) << i;
        ASSERT_NEAR(out[1][i], right[4320 + i] * gain, 1e-5f) << i;
    }
}

TEST(UtilityUnit, DelayLongerThanOneSecondActsAsOneSecond)
{
    QRUtilityUnit unit;
    unit.configureDelay(100000, 0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    std::vector<float> input(60000, 0.0f);
    input[10] = 0.75f;
    const Channels out = renderThrough(unit, {input}, 4096);
    for (size_t i = 0; i < out[0].size(); ++i) {
        if (i == 48010)
            EXPECT_EQ(out[0][i], 0.75f);
        else
            ASSERT_EQ(out[0][i], 0.0f) << i;
    }
}

TEST(UtilityUnit, LongestDelayWithBlocksLongerThanTheRemainingLine)
{
    // A line of one second plus one frame at 8000 Hz is shorter than two full blocks: the line
    // must still hand out each frame exactly 8000 frames later.
    QRUtilityUnit unit;
    unit.configureDelay(8000, 0);
    ASSERT_TRUE(prepareUnit(unit, 8000, 1, 4096));
    const std::vector<float> input = test::whiteNoise(0.5, 30000, 3);
    const Channels out = renderThrough(unit, {input}, 4096);
    for (size_t i = 8000; i < input.size(); ++i) ASSERT_EQ(out[0][i], input[i - 8000]) << i;
}

TEST(UtilityUnit, CeilingLimitsAndCountsGuardedSamples)
{
    QRUtilityUnit unit;
    unit.configureDelay(0, 0.5f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    const std::vector<float> input = test::sine(1000, 1.0, 48000, 4800);
    uint64_t above = 0;
    for (float x : input) above += std::fabs(x) > 0.5f ? 1 : 0;
    const Channels out = renderThrough(unit, {input, input});
    for (size_t i = 0; i < input.size(); ++i) {
        const float expected = std::fabs(input[i]) > 0.5f ? std::copysign(0.5f, input[i]) : input[i];
        ASSERT_EQ(out[0][i], expected) << i;
    }
    EXPECT_EQ(unit.readMeter().guarded, 2 * above);
}

TEST(UtilityUnit, CeilingIsClampedAndNotFiniteTurnsItOff)
{
    QRUtilityUnit unit;
    unit.configureDelay(0, 3);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 1.0f);
    unit.configureDelay(0, std::numeric_limits<float>::infinity());
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.0f);
}

TEST(UtilityUnit, InvalidSamplesAreZeroAfterDelayAndGainAndCounted)
{
    QRUtilityUnit unit;
    unit.setGain(2);
    unit.configureDelay(5, 0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    std::vector<float> input(64, 0.25f);
    input[3] = std::numeric_limits<float>::quiet_NaN();
    input[20] = std::numeric_limits<float>::infinity();
    input[40] = -std::numeric_limits<float>::quiet_NaN();
    const Channels out = renderThrough(unit, {input}, 16);
    EXPECT_EQ(out[0][8], 0.0f);
    EXPECT_EQ(out[0][25], 0.0f);
    EXPECT_EQ(out[0][45], 0.0f);
    EXPECT_EQ(out[0][46], 0.5f);
    EXPECT_EQ(unit.readMeter().invalid, 3u);
}

TEST(UtilityUnit, MetersDescribeTheLastCallAndResetClearsThem)
{
    QRUtilityUnit unit;
    unit.setGain(0.5f);
    unit.configureDelay(0, 0.2f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    const std::vector<float> left(256, 0.6f), right(256, -0.2f);
    renderThrough(unit, {left, right}, 256);
    QRMeterValues meter = unit.readMeter();
    EXPECT_FLOAT_EQ(meter.inputPeak, 0.6f);
    EXPECT_FLOAT_EQ(meter.outputPeak, 0.2f);
    EXPECT_NEAR(meter.rms, std::sqrt((0.2 * 0.2 + 0.1 * 0.1) / 2), 1e-6);
    EXPECT_EQ(meter.guarded, 256u);

    unit.reset();
    meter = unit.readMeter();
    EXPECT_EQ(meter.inputPeak, 0.0f);
    EXPECT_EQ(meter.outputPeak, 0.0f);
    EXPECT_EQ(meter.rms, 0.0f);
    EXPECT_EQ(meter.guarded, 0u);
    EXPECT_EQ(meter.invalid, 0u);
}

// A unit at a gain of exactly 1 with no ceiling and no delay measures its output in the same
// pass that cleans its input; its meters equal those of a unit that scales (a ceiling above
// every sample), to the bit, block after block and where the delay line wraps.
TEST(UtilityUnit, PassingUnitMetersEqualThoseOfAScalingUnit)
{
    QRUtilityUnit passing, scaling;
    passing.setGain(1);
    passing.configureDelay(0, 0);
    scaling.setGain(1);
    scaling.configureDelay(0, 1);
    ASSERT_TRUE(prepareUnit(passing, 48000, 2));
    ASSERT_TRUE(prepareUnit(scaling, 48000, 2));
    std::vector<float> left = test::whiteNoise(0.9, 510, 41), right = test::whiteNoise(0.5, 510, 42);
    left[7] = std::numeric_limits<float>::quiet_NaN();
    right[300] = -std::numeric_limits<float>::infinity();
    for (int block = 0; block < 100; ++block) {  // 51000 frames: the one-second line wraps
        const Channels a = renderThrough(passing, {left, right}, 510);
        const Channels b = renderThrough(scaling, {left, right}, 510);
        ASSERT_EQ(a, b) << block;
        const QRMeterValues p = passing.readMeter(), q = scaling.readMeter();
        ASSERT_EQ(p.inputPeak, q.inputPeak) << block;
        ASSERT_EQ(p.outputPeak, q.outputPeak) << block;
        ASSERT_EQ(p.rms, q.rms) << block;
        ASSERT_EQ(p.invalid, q.invalid) << block;
        ASSERT_EQ(p.guarded, 0u);
    }
}

// Without readers of the rms the unit sums no squares: the rms rests at 0, while the samples,
// peaks and counts stay those of a unit whose rms is read, passing (gain 1) or scaling.
TEST(UtilityUnit, RmsNobodyReadsRestsAtZeroAndChangesNothingElse)
{
    const std::vector<float> left = test::whiteNoise(0.9, 512, 43), right = test::whiteNoise(0.4, 512, 44);
    for (const float gain : {1.0f, 1.5f}) {
        QRUtilityUnit read, unread;
        for (QRUtilityUnit* unit : {&read, &unread}) {
            unit->setGain(gain);
            unit->configureDelay(0, gain == 1.0f ? 0.0f : 0.8f);
        }
        unread.setRmsWanted(false);
        ASSERT_TRUE(prepareUnit(read, 48000, 2));
        ASSERT_TRUE(prepareUnit(unread, 48000, 2));
        EXPECT_EQ(renderThrough(unread, {left, right}, 512), renderThrough(read, {left, right}, 512));
        const QRMeterValues a = unread.readMeter(), b = read.readMeter();
        EXPECT_EQ(a.rms, 0.0f);
        EXPECT_GT(b.rms, 0.1f);
        EXPECT_EQ(a.inputPeak, b.inputPeak);
        EXPECT_EQ(a.outputPeak, b.outputPeak);
        EXPECT_EQ(a.guarded, b.guarded);
        unread.setRmsWanted(true);
        renderThrough(unread, {left, right}, 512);
        renderThrough(read, {left, right}, 512);
        EXPECT_EQ(unread.readMeter().rms, read.readMeter().rms);
    }
}

TEST(UtilityUnit, ReportsNoLatencyWhateverItsDelay)
{
    QRUtilityUnit unit;
    unit.configureDelay(4800, 0);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    EXPECT_EQ(unit.latency(), 0.0);
}

}  // namespace
}  // namespace quorel
