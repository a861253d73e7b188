#include "QREffects.h"
#include "QRLimiterUnit.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace quorel {
namespace {

using test::Channels;
using test::prepareUnit;
using test::renderThrough;

float peakOf(const Channels& channels)
{
    float peak = 0;
    for (const auto& channel : channels)
        for (float x : channel) peak = std::max(peak, std::fabs(x));
    return peak;
}

TEST(LimiterUnit, LookaheadIsAFloatSoTheWindowAt44100IsTwoHundredTwenty)
{
    QRLimiterUnit unit;
    // 0.005 as a float is slightly below 0.005: 44100 x 0.005f = 220.4999... rounds to 220.
    EXPECT_EQ(unit.windowForSampleRate(44100), 220u);
    EXPECT_EQ(unit.windowForSampleRate(48000), 240u);
    ASSERT_TRUE(prepareUnit(unit, 44100, 2));
    EXPECT_EQ(unit.state().window, 220u);
    EXPECT_DOUBLE_EQ(unit.latency(), 219.0 / 44100.0);
}

TEST(LimiterUnit, LatencyIsWindowMinusOneFrames)
{
    QRLimiterUnit unit;
    unit.outputBus().setFormat(AudioFormat::standard(48000, 2));
    EXPECT_DOUBLE_EQ(unit.latency(), 239.0 / 48000.0);
}

TEST(LimiterUnit, LatencyFollowsTheAllocatedWindowWhenTheLookaheadChangesLater)
{
    QRLimiterUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    unit.configureCeiling(0.999f, 0.05f, 0.08f);
    EXPECT_DOUBLE_EQ(unit.latency(), 239.0 / 48000.0);
    std::vector<float> impulse(4096, 0.0f);
    impulse[0] = 0.5f;
    const Channels out = renderThrough(unit, {impulse});
    EXPECT_EQ(out[0][239], 0.5f);  // the signal is still delayed by the allocated window
    unit.deallocateRenderResources();
    EXPECT_DOUBLE_EQ(unit.latency(), 2399.0 / 48000.0);
}

TEST(LimiterUnit, LookaheadExtremesClampTheWindow)
{
    QRLimiterUnit unit;
    unit.configureCeiling(1, 0, 0.08f);
    EXPECT_EQ(unit.windowForSampleRate(48000), uint32_t(std::llround(48000 * double(0.0005f))));
    EXPECT_EQ(unit.windowForSampleRate(8000), 4u);
    EXPECT_EQ(unit.windowForSampleRate(1000), 2u);  // never below 2
    unit.configureCeiling(1, 1, 0.08f);
    EXPECT_EQ(unit.windowForSampleRate(48000), 2400u);
}

TEST(LimiterUnit, InputBelowTheCeilingPassesUnchangedButDelayed)
{
    QRLimiterUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    const std::vector<float> left = test::whiteNoise(0.9, 10000, 5);
    const std::vector<float> right = test::whiteNoise(0.9, 10000, 6);
    const Channels out = renderThrough(unit, {left, right}, 100);
    for (size_t i = 0; i < 239; ++i) ASSERT_EQ(out[0][i], 0.0f);
    for (size_t i = 239; i < 10000; ++i) {
        ASSERT_EQ(out[0][i], left[i - 239]) << i;
        ASSERT_EQ(out[1][i], right[i - 239]) << i;
    }
    EXPECT_EQ(unit.readGain(), 1.0f);
}

TEST(LimiterUnit, FullScaleSineUnderHalfCeilingIsDelayedAndLimited)
{
    QRLimiterUnit unit;
    unit.configureCeiling(0.5f, 0.005f, 0.08f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    const std::vector<float> input = test::sine(100, 1.0, 48000, 48000);
    const Channels out = renderThrough(unit, {input}, 512);
    EXPECT_LE(peakOf(out), 0.5f);
    // The first peak (frame 120) leaves the line 239 frames later at full reduction.
    EXPECT_NEAR(out[0][120 + 239], 0.5f, 1e-4f);
    EXPECT_NEAR(unit.readGain(), 0.5f, 1e-3f);
}

TEST(LimiterUnit, ImpulseIsReducedToTheCeilingThenTheGainReleases)
{
    QRLimiterUnit unit;
    unit.configureCeiling(0.5f, 0.005f, 0.08f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    std::vector<float> impulse(48000, 0.0f);
    impulse[1000] = 1.0f;
    const Channels out = renderThrough(unit, {impulse}, 256);
    EXPECT_NEAR(out[0][1000 + 239], 0.5f, 1e-6f);

    // The gain returns towards 1 with the release time constant: measure it with a probe tone.
    std::vector<float> probe(48000, 0.0f);
    probe[1000] = 1.0f;
    for (size_t i = 1001; i < probe.size(); ++i) probe[i] = 0.01f;
    QRLimiterUnit second;
    second.configureCeiling(0.5f, 0.005f, 0.08f);
    ASSERT_TRUE(prepareUnit(second, 48000, 1));
    const Channels probed = renderThrough(second, {probe}, 256);
    const float early = probed[0][1000 + 239 + 480] / 0.01f;   // 10 ms after the peak
    const float late = probed[0][1000 + 239 + 24000] / 0.01f;  // 500 ms after
    EXPECT_LT(early, 0.95f);
    EXPECT_GT(late, 0.999f);
}

TEST(LimiterUnit, PeakOnOneChannelReducesBothEqually)
{
    QRLimiterUnit unit;
    unit.configureCeiling(0.5f, 0.005f, 0.08f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    std::vector<float> left(4000, 0.2f);
    const std::vector<float> right(4000, 0.2f);
    left[1000] = 1.0f;
    const Channels out = renderThrough(unit, {left, right}, 512);
    EXPECT_NEAR(out[1][1239], 0.1f, 1e-6f);
    for (size_t i = 0; i < out[0].size(); ++i) {
        if (i != 1239) {
            ASSERT_EQ(out[0][i], out[1][i]) << i;
        }
    }
}

TEST(LimiterUnit, ReadGainPutsOneBack)
{
    QRLimiterUnit unit;
    unit.configureCeiling(0.5f, 0.005f, 0.08f);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    std::vector<float> loud(2000, 1.0f);
    renderThrough(unit, {loud});
    EXPECT_LT(unit.readGain(), 0.51f);
    EXPECT_EQ(unit.readGain(), 1.0f);
}

TEST(LimiterUnit, CeilingValidation)
{
    QRLimiterUnit unit;
    unit.configureCeiling(std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity());
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.999f);
    EXPECT_EQ(unit.state().parameters.latest().lookaheadSeconds, 0.005f);
    EXPECT_EQ(unit.state().parameters.latest().releaseSeconds, 0.08f);
    unit.configureCeiling(0.01f, 0.2f, 9);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.1f);
    EXPECT_EQ(unit.state().parameters.latest().lookaheadSeconds, 0.2f);  // clamped by the window, not here
    EXPECT_EQ(unit.state().parameters.latest().releaseSeconds, 9.0f);    // clamped at render time
    unit.configureCeiling(7, 0.005f, 0.08f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 1.0f);
}

// The promise of a brick-wall limiter: whatever comes in, nothing above the ceiling comes out.
struct Torture {
    const char* name;
    std::vector<float> (*signal)(size_t frames);
};

std::vector<float> steps(size_t frames)
{
    std::vector<float> x(frames);
    for (size_t i = 0; i < frames; ++i) x[i] = (i / 777) % 2 ? 1.0f : 0.05f;
    return x;
}

std::vector<float> bursts(size_t frames)
{
    std::mt19937 generator(11);
    std::uniform_real_distribution<float> noise(-8.0f, 8.0f);
    std::vector<float> x(frames, 0.0f);
    for (size_t i = 0; i < frames; ++i) x[i] = (i % 4000) < 300 ? noise(generator) : 0.01f * noise(generator);
    return x;
}

std::vector<float> squares(size_t frames)
{
    std::vector<float> x(frames);
    for (size_t i = 0; i < frames; ++i) x[i] = (i / 24) % 2 ? 1.0f : -1.0f;
    return x;
}

std::vector<float> clicks(size_t frames)
{
    std::vector<float> x(frames, 0.0f);
    for (size_t i = 0; i < frames; i += 97) x[i] = (i / 97) % 3 ? 3.0f : -1e6f;
    return x;
}

std::vector<float> hugeNoise(size_t frames)
{
    std::mt19937 generator(12);
    std::uniform_real_distribution<float> noise(-3e38f, 3e38f);
    std::vector<float> x(frames);
    for (float& sample : x) sample = noise(generator);
    return x;
}

class LimiterCeiling : public ::testing::TestWithParam<Torture> {};

TEST_P(LimiterCeiling, NeverExceeded)
{
    const size_t frames = 24000;
    const std::vector<float> signal = GetParam().signal(frames);
    const std::vector<float> quiet = test::whiteNoise(0.05, frames, 13);
    for (float ceiling : {0.1f, 0.5f, 0.891f, 0.999f, 1.0f}) {
        for (float release : {0.0f, 0.005f, 0.08f, 1.0f, 100.0f}) {
            for (float lookahead : {0.0f, 0.005f, 0.05f}) {
                for (uint32_t block : {7u, 4096u}) {
                    QRLimiterUnit unit;
                    unit.configureCeiling(ceiling, lookahead, release);
                    ASSERT_TRUE(prepareUnit(unit, 44100, 2));
                    const Channels out = renderThrough(unit, {signal, quiet}, block);
                    ASSERT_LE(peakOf(out), ceiling) << "ceiling " << ceiling << " release " << release << " lookahead "
                                                    << lookahead << " block " << block;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, LimiterCeiling,
                         ::testing::Values(Torture{"Steps", steps}, Torture{"Bursts", bursts},
                                           Torture{"FullScaleSquares", squares}, Torture{"Clicks", clicks},
                                           Torture{"HugeNoise", hugeNoise}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LimiterUnit, CeilingChangedWhileRenderingHoldsFromTheNextCall)
{
    QRLimiterUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    const std::vector<float> loud = squares(4800);
    renderThrough(unit, {loud}, 480);
    unit.configureCeiling(0.2f, 0.005f, 0.08f);
    const Channels out = renderThrough(unit, {loud}, 480);
    EXPECT_LE(peakOf(out), 0.2f);
}

}  // namespace
}  // namespace quorel
