#include "QREffects.h"
#include "QRLevelerUnit.h"
#include "RenderHarness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace quorel {
namespace {

using test::Channels;
using test::prepareUnit;
using test::renderThrough;

// Stereo 1 kHz sine whose loudness is about `lufs` (a peak of `lufs` dBFS on both channels).
Channels sineAt(double lufs, double seconds, double sampleRate = 48000)
{
    const std::vector<float> tone =
        test::sine(1000, std::pow(10.0, lufs / 20), sampleRate, size_t(seconds * sampleRate));
    return {tone, tone};
}

TEST(KWeighting, ReproducesThePublishedCoefficientsAt48k)
{
    double shelf[5];
    double highPass[5];
    QRKWeightingCoefficients(48000, shelf, highPass);
    const double publishedShelf[5] = {1.53512485958697, -2.69169618940638, 1.19839281085285, -1.69065929318241,
                                      0.73248077421585};
    const double publishedHighPass[5] = {1.0, -2.0, 1.0, -1.99004745483398, 0.99007225036621};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(shelf[i], publishedShelf[i], 1e-12) << i;
        EXPECT_NEAR(highPass[i], publishedHighPass[i], 1e-12) << i;
    }
}

TEST(KWeighting, ShelfLiftsHighsByFourDecibelsAndHighPassCutsDeepBass)
{
    // At Nyquist the shelf's gain is (b0 - b1 + b2) / (1 - a1 + a2); at 0 Hz the high-pass is 0.
    double shelf[5];
    double highPass[5];
    QRKWeightingCoefficients(96000, shelf, highPass);
    const double nyquist = (shelf[0] - shelf[1] + shelf[2]) / (1 - shelf[3] + shelf[4]);
    EXPECT_NEAR(20 * std::log10(nyquist), 4.0, 0.05);
    EXPECT_EQ(highPass[0] + highPass[1] + highPass[2], 0.0);
}

// The published loudness is the 3-second loudness: libebur128's short-term loudness at every
// whole 100 ms bin, once 3 s have been heard.
class LevelerReference : public ::testing::TestWithParam<double> {};

TEST_P(LevelerReference, MatchesLibebur128ShortTermLoudnessOnNoise)
{
    const double sampleRate = GetParam();
    const auto binLength = uint32_t(std::llround(sampleRate / 10));
    const size_t frames = size_t(binLength) * 80;  // 8 s
    std::vector<float> left = test::whiteNoise(0.5, frames, 21);
    std::vector<float> right = test::whiteNoise(0.5, frames, 22);
    // Change the level every 0.7 s so that the 3-second window has something to follow.
    for (size_t i = 0; i < frames; ++i) {
        const float level = std::pow(10.0f, -float((i * 10 / size_t(sampleRate * 7)) % 4) * 6 / 20);
        left[i] *= level;
        right[i] *= level * 0.5f;
    }

    QRLevelerUnit unit;
    ASSERT_TRUE(prepareUnit(unit, sampleRate, 2));
    std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> reference(
        ebur128_init(2, static_cast<unsigned long>(sampleRate), EBUR128_MODE_S),
        [](ebur128_state* state) { ebur128_destroy(&state); });
    ASSERT_TRUE(reference);

    const uint32_t block = binLength / 10;
    std::vector<float> interleaved(2 * block);
    int compared = 0;
    for (size_t start = 0; start + block <= frames; start += block) {
        const std::vector<float> l(left.begin() + long(start), left.begin() + long(start + block));
        const std::vector<float> r(right.begin() + long(start), right.begin() + long(start + block));
        renderThrough(unit, {l, r}, block);
        for (uint32_t i = 0; i < block; ++i) {
            interleaved[2 * i] = l[i];
            interleaved[2 * i + 1] = r[i];
        }
        ASSERT_EQ(ebur128_add_frames_float(reference.get(), interleaved.data(), block), EBUR128_SUCCESS);
        const size_t done = start + block;
        if (done % binLength == 0 && done >= size_t(binLength) * 30) {
            double expected = 0;
            ASSERT_EQ(ebur128_loudness_shortterm(reference.get(), &expected), EBUR128_SUCCESS);
            EXPECT_NEAR(unit.reading().loudness, expected, 0.05) << "at frame " << done;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 51);
}

INSTANTIATE_TEST_SUITE_P(SampleRates, LevelerReference, ::testing::Values(44100.0, 48000.0, 96000.0),
                         [](const auto& info) { return std::to_string(int(info.param)); });

TEST(LevelerUnit, SineAtMinus23ReadsMinus23AndTheGainClimbsSlowlyTowardsTheTarget)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    EXPECT_EQ(unit.reading().loudness, -120.0f);
    EXPECT_FALSE(unit.reading().measuring);

    renderThrough(unit, sineAt(-23, 0.1), 480);  // first bin
    QRLevelerReading reading = unit.reading();
    EXPECT_NEAR(reading.loudness, -23, 0.1);
    EXPECT_TRUE(reading.measuring);

    renderThrough(unit, sineAt(-23, 2.5), 480);
    reading = unit.reading();
    // 9 dB wanted, 2.5 s time constant: about 1 - 1/e of the way after 2.5 s.
    EXPECT_NEAR(reading.gainDB, 9 * (1 - std::exp(-1.0)), 0.3);
    renderThrough(unit, sineAt(-23, 10), 480);
    EXPECT_NEAR(unit.reading().gainDB, 9, 0.2);
}

TEST(LevelerUnit, GainRampsWithinACallFromThePreviousGain)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -6);
    ASSERT_TRUE(prepareUnit(unit, 48000, 1));
    const std::vector<float> tone = test::sine(1000, 0.01, 48000, 48000);
    renderThrough(unit, {tone}, 4000);
    const float before = std::pow(10.0f, unit.reading().gainDB / 20);
    const std::vector<float> ones(4000, 1e-3f);
    const Channels out = renderThrough(unit, {ones}, 4000);
    const float after = std::pow(10.0f, unit.reading().gainDB / 20);
    EXPECT_NEAR(out[0][0], 1e-3f * before, 1e-8f);
    EXPECT_NEAR(out[0][3999], 1e-3f * (before + 3999 * (after - before) / 4000), 1e-8f);
}

TEST(LevelerUnit, SilenceHoldsTheGainAndStopsMeasuring)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    renderThrough(unit, sineAt(-23, 3), 480);
    const QRLevelerReading playing = unit.reading();
    ASSERT_TRUE(playing.measuring);
    const std::vector<float> silence(48000, 0.0f);
    renderThrough(unit, {silence, silence}, 480);
    const QRLevelerReading paused = unit.reading();
    EXPECT_FALSE(paused.measuring);
    const float desired = unit.state().desiredDB;
    renderThrough(unit, {silence, silence}, 480);
    renderThrough(unit, {silence, silence}, 480);
    const QRLevelerReading later = unit.reading();
    EXPECT_FALSE(later.measuring);
    EXPECT_EQ(later.loudness, paused.loudness);
    EXPECT_EQ(unit.state().desiredDB, desired);
    // The gain never falls back towards 0 dB during the pause.
    EXPECT_GE(later.gainDB, playing.gainDB);
}

TEST(LevelerUnit, RequestedCorrectionIsClampedToMinus12AndPlus18)
{
    QRLevelerUnit loud;
    loud.configureStrength(1, -30);
    ASSERT_TRUE(prepareUnit(loud, 48000, 2));
    renderThrough(loud, sineAt(-10, 8), 480);  // 20 dB too loud
    EXPECT_FLOAT_EQ(loud.state().desiredDB, -12);
    EXPECT_NEAR(loud.reading().gainDB, -12, 0.01);

    QRLevelerUnit quiet;
    quiet.configureStrength(1, -6);
    ASSERT_TRUE(prepareUnit(quiet, 48000, 2));
    renderThrough(quiet, sineAt(-36, 1), 480);  // 30 dB too quiet
    EXPECT_FLOAT_EQ(quiet.state().desiredDB, 18);
}

TEST(LevelerUnit, HalfStrengthHalvesTheCorrection)
{
    QRLevelerUnit unit;
    unit.configureStrength(0.5f, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    renderThrough(unit, sineAt(-23, 1), 480);
    EXPECT_NEAR(unit.state().desiredDB, 4.5, 0.05);
}

TEST(LevelerUnit, ZeroStrengthStillMeasuresButReleasesTheGain)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    renderThrough(unit, sineAt(-23, 3), 480);
    const float raised = unit.reading().gainDB;
    ASSERT_GT(raised, 3);
    unit.configureStrength(0, -14);
    renderThrough(unit, sineAt(-33, 0.4), 480);
    const QRLevelerReading reading = unit.reading();
    EXPECT_FALSE(reading.measuring);
    EXPECT_LT(reading.loudness, -23.5f);  // the reading still follows the programme
    // Falling with the 0.4 s time constant.
    EXPECT_NEAR(reading.gainDB, raised * std::exp(-1.0), 0.3);
}

TEST(LevelerUnit, TargetAndStrengthValidation)
{
    QRLevelerUnit unit;
    unit.configureStrength(3, -40);
    EXPECT_EQ(unit.state().parameters.latest().strength, 1.0f);
    EXPECT_EQ(unit.state().parameters.latest().target, -30.0f);
    unit.configureStrength(-1, 0);
    EXPECT_EQ(unit.state().parameters.latest().strength, 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().target, -6.0f);
    unit.configureStrength(std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(unit.state().parameters.latest().strength, 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().target, -6.0f);
}

TEST(LevelerUnit, SuddenBurstCountsAtOnceThroughTheMomentaryLoudness)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    renderThrough(unit, sineAt(-30, 4), 480);
    EXPECT_NEAR(unit.state().desiredDB, 16, 0.1);
    const float settled = unit.reading().gainDB;
    renderThrough(unit, sineAt(-20, 0.5), 480);
    // Lm - 4 = -24 outweighs the 3-second loudness, which has barely moved.
    EXPECT_NEAR(unit.state().desiredDB, 10, 0.2);
    EXPECT_LT(unit.reading().loudness, -25);
    EXPECT_LT(unit.reading().gainDB, settled);
}

TEST(LevelerUnit, ReadingChangesOnlyAtBinBoundaries)
{
    QRLevelerUnit unit;
    ASSERT_TRUE(prepareUnit(unit, 44100, 1));
    EXPECT_EQ(unit.state().binLength, 4410u);
    const std::vector<float> noise = test::whiteNoise(0.3, 44100, 9);
    float last = unit.reading().loudness;
    for (size_t start = 0; start < noise.size(); start += 10) {
        renderThrough(unit, {std::vector<float>(noise.begin() + long(start), noise.begin() + long(start + 10))}, 10);
        const float now = unit.reading().loudness;
        if ((start + 10) % 4410 != 0) {
            ASSERT_EQ(now, last) << start;
        } else {
            ASSERT_NE(now, last) << start;
        }
        last = now;
    }
}

TEST(LevelerUnit, ResetBringsReadingsToRest)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    ASSERT_TRUE(prepareUnit(unit, 48000, 2));
    renderThrough(unit, sineAt(-23, 1), 480);
    unit.reset();
    const QRLevelerReading reading = unit.reading();
    EXPECT_EQ(reading.loudness, -120.0f);
    EXPECT_EQ(reading.gainDB, 0.0f);
    EXPECT_FALSE(reading.measuring);
    EXPECT_EQ(unit.state().parameters.latest().strength, 1.0f);
}

}  // namespace
}  // namespace quorel
