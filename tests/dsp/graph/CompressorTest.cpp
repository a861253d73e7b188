#include "CompressorCurve.h"
#include "DynamicsProcessor.h"
#include "MultibandCompressor.h"
#include "RmsDetector.h"
#include "SignalHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorel {
namespace {

TEST(CompressorCurve, RatioFollowsThresholdOverHeadroom)
{
    CompressorCurve c;
    c.threshold = -15;
    c.headroom = 17;
    EXPECT_FLOAT_EQ(c.ratio(), 1 + 15.0f / 17.0f);
    // Well above the knee: reduction = over x (1 - 1/ratio).
    EXPECT_NEAR(c.gainDB(-5), -10 * (1 - 1 / c.ratio()), 1e-5);
    EXPECT_EQ(c.gainDB(-30), 0.0f);
    // Inside the knee the curve is continuous with both sides.
    EXPECT_NEAR(c.gainDB(-15 + CompressorCurve::kneeDB / 2), -3 * (1 - 1 / c.ratio()), 1e-5);
    EXPECT_NEAR(c.gainDB(-15 - CompressorCurve::kneeDB / 2), 0, 1e-6);
}

TEST(CompressorCurve, ZeroThresholdIsNeutral)
{
    CompressorCurve c;
    c.threshold = 0;
    c.headroom = 40;
    EXPECT_TRUE(c.isNeutral());
    for (float level : {-120.0f, -20.0f, 0.0f, 12.0f}) EXPECT_EQ(c.gainDB(level), 0.0f);
}

TEST(DynamicsProcessor, LoudnessZeroSettingsAreBitTransparent)
{
    DynamicsProcessor d;
    d.setParameter(DynamicsProcessor::threshold, 0);
    d.setParameter(DynamicsProcessor::headroom, 40);
    d.setParameter(DynamicsProcessor::expansionRatio, 1);
    d.setParameter(DynamicsProcessor::expansionThreshold, -120);
    d.setParameter(DynamicsProcessor::overallGain, 0);
    d.prepare(48000);
    std::vector<float> left = test::sine(1000, 48000, 48000, 0.99), right = test::sine(50, 48000, 48000, 0.5);
    const auto l0 = left, r0 = right;
    test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t n) { d.process(ch, 2, n); });
    EXPECT_EQ(left, l0);
    EXPECT_EQ(right, r0);
}

TEST(DynamicsProcessor, CompressesASteadyToneByTheCurve)
{
    DynamicsProcessor d;
    d.setParameter(DynamicsProcessor::threshold, -30);
    d.setParameter(DynamicsProcessor::headroom, 32);
    d.setParameter(DynamicsProcessor::expansionRatio, 1);
    d.setParameter(DynamicsProcessor::attackTime, 0.01f);
    d.setParameter(DynamicsProcessor::releaseTime, 0.18f);
    d.setParameter(DynamicsProcessor::overallGain, 9.1f);
    d.prepare(48000);
    // A sine of amplitude 0.5 has an RMS level of about -9 dB.
    std::vector<float> left = test::sine(1000, 48000, 96000, 0.5), right = left;
    const double inDB = test::dB(test::rms(left, 48000));
    test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t n) { d.process(ch, 2, n); });
    CompressorCurve c;
    c.threshold = -30;
    c.headroom = 32;
    const double expected = c.gainDB(float(inDB)) + 9.1;
    EXPECT_NEAR(test::dB(test::rms(left, 48000)) - inDB, expected, 0.3);
}

// The block form of the gain (logarithms and exponentials four at a time) against the same
// detector and curve worked sample by sample with the C library, on a signal that swings through
// the knee, the expansion and the floor: every sample's gain within a thousandth of a dB, and
// the same result whatever the block size.
TEST(DynamicsProcessor, BlockGainMatchesThePlainPerSampleGain)
{
    CompressorCurve c;
    c.threshold = -24;
    c.headroom = 6;
    c.expansionRatio = 2;
    c.expansionThreshold = -60;
    const float makeup = 7.5f;
    auto configure = [&](DynamicsProcessor& d) {
        d.setParameter(DynamicsProcessor::threshold, c.threshold);
        d.setParameter(DynamicsProcessor::headroom, c.headroom);
        d.setParameter(DynamicsProcessor::expansionRatio, c.expansionRatio);
        d.setParameter(DynamicsProcessor::expansionThreshold, c.expansionThreshold);
        d.setParameter(DynamicsProcessor::attackTime, 0.01f);
        d.setParameter(DynamicsProcessor::releaseTime, 0.18f);
        d.setParameter(DynamicsProcessor::overallGain, makeup);
        d.prepare(48000);
    };
    // A 200 Hz tone whose level sweeps from -100 dB to +6 dB and back, then silence.
    const size_t frames = 3 * 48000;
    std::vector<float> left(frames), right(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 48000;
        const double levelDB = t < 2 ? -100 + 106 * (1 - std::fabs(t - 1)) : -300;
        left[i] = float(std::pow(10, levelDB / 20) * std::sin(2 * std::numbers::pi * 200 * t));
        right[i] = 0.5f * left[i];
    }
    RmsDetector detector;
    detector.configure(48000, 0.01, 0.18);
    std::vector<double> expected(frames);
    for (size_t i = 0; i < frames; ++i) {
        const float level = detector.next(std::max(left[i] * left[i], right[i] * right[i]));
        expected[i] = double(c.gainDB(level)) + makeup;
        if (i % 512 == 511) detector.flush();
    }
    std::vector<float> first;
    for (uint32_t block : {512u, 77u}) {
        DynamicsProcessor d;
        configure(d);
        std::vector<float> l = left, r = right;
        test::inBlocks(l, r, block, [&](float* const* ch, uint32_t n) { d.process(ch, 2, n); });
        for (size_t i = 0; i < frames; ++i) {
            if (std::fabs(left[i]) > 1e-20f) {
                ASSERT_NEAR(test::dB(double(l[i]) / double(left[i])), expected[i], 1e-3) << block << " " << i;
            }
        }
        if (first.empty())
            first = l;
        else
            EXPECT_EQ(l, first);
    }
}

// The detector's recurrences were once written v += c (x - v) in single precision; today's
// form v (1 - c) + c x rounds differently. On a programme-like signal (noise whose level
// jumps and sweeps, attack and release alike) every gain stays within 0.01 dB of that form,
// worked in double precision with the C library's logarithm.
TEST(DynamicsProcessor, GainStaysWithinAHundredthOfADecibelOfTheIncrementForm)
{
    const size_t frames = 4 * 48000;
    std::vector<float> left(frames), right(frames);
    uint32_t seed = 12345;
    auto noise = [&] {
        seed = seed * 1664525u + 1013904223u;
        return float(int32_t(seed)) / 2147483648.0f;
    };
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 48000;
        const double levelDB = (i / 24000) % 2 ? -6 - 20 * t : -40 + 5 * t;
        const float amplitude = float(std::pow(10, levelDB / 20));
        left[i] = amplitude * noise();
        right[i] = amplitude * noise();
    }
    CompressorCurve c;
    c.threshold = -30;
    c.headroom = 4;
    const float makeup = 6;
    for (const float releaseSeconds : {0.18f, 3.0f}) {
        DynamicsProcessor d;
        d.setParameter(DynamicsProcessor::threshold, c.threshold);
        d.setParameter(DynamicsProcessor::headroom, c.headroom);
        d.setParameter(DynamicsProcessor::expansionRatio, 1);
        d.setParameter(DynamicsProcessor::attackTime, 0.01f);
        d.setParameter(DynamicsProcessor::releaseTime, releaseSeconds);
        d.setParameter(DynamicsProcessor::overallGain, makeup);
        d.prepare(48000);

        const double window = 1 - std::exp(-1 / (0.02 * 48000));
        const double attack = 1 - std::exp(-1 / (0.01 * 48000));
        const double release = 1 - std::exp(-1 / (double(releaseSeconds) * 48000));
        double meanSquare = 0, levelDB = RmsDetector::floorDB;
        std::vector<double> expected(frames);
        for (size_t i = 0; i < frames; ++i) {
            const double square = std::max(left[i] * left[i], right[i] * right[i]);
            meanSquare += window * (square - meanSquare);
            const double level = meanSquare > 1e-12 ? 10 * std::log10(meanSquare) : RmsDetector::floorDB;
            levelDB += (level > levelDB ? attack : release) * (level - levelDB);
            expected[i] = double(c.gainDB(float(levelDB))) + makeup;
        }
        std::vector<float> l = left, r = right;
        test::inBlocks(l, r, 512, [&](float* const* ch, uint32_t n) { d.process(ch, 2, n); });
        double worst = 0;
        for (size_t i = 0; i < frames; ++i)
            if (std::fabs(left[i]) > 1e-6f)
                worst = std::max(worst, std::fabs(test::dB(double(l[i]) / double(left[i])) - expected[i]));
        EXPECT_LT(worst, 0.01) << releaseSeconds;
    }
}

// While the curve is neutral the detector follows the signal a block at a time; its level stays
// that of the sample-by-sample recurrence, whatever the blocks' lengths.
TEST(RmsDetector, FollowingABlockAtATimeKeepsTheSampleBySampleLevel)
{
    RmsDetector single, blocks;
    single.configure(48000, 0.01, 0.18);
    blocks.configure(48000, 0.01, 0.18);
    std::vector<float> squares(48000);
    for (size_t i = 0; i < squares.size(); ++i) {
        const float x = float(std::sin(0.01 * double(i)) * (i < 24000 ? 0.5 : 0.01));
        squares[i] = x * x;
    }
    size_t at = 0;
    for (const uint32_t length : {513u, 3u, 4096u, 7u, 1u, 256u, 20000u}) {
        const uint32_t n = uint32_t(std::min<size_t>(length, squares.size() - at));
        for (uint32_t i = 0; i < n; ++i) single.follow(squares[at + i]);
        blocks.followBlock(squares.data() + at, n);
        at += n;
        single.settle();
        blocks.settle();
        // One more (silent) sample through both, which returns their levels in dB.
        EXPECT_NEAR(single.next(0), blocks.next(0), 1e-4) << at;
    }
}

// The block form of the levels keeps to the sample-by-sample one whether the attack is the
// faster of the two times or the slower, on a signal that rises and falls in steps.
TEST(RmsDetector, BlockLevelsKeepTheSampleBySampleLevelsWhicheverTimeIsShorter)
{
    for (const auto& [attack, release] : {std::pair{0.01, 0.18}, std::pair{0.2, 0.01}}) {
        RmsDetector single, blocks;
        single.configure(48000, attack, release);
        blocks.configure(48000, attack, release);
        std::vector<float> squares(96000);
        for (size_t i = 0; i < squares.size(); ++i) {
            const float x = float(std::sin(0.03 * double(i)) * std::pow(10.0, -double((i / 6000) % 5)));
            squares[i] = x * x;
        }
        std::vector<float> levels = squares;
        for (size_t at = 0; at < levels.size(); at += 500) blocks.levels(levels.data() + at, 500);
        for (size_t i = 0; i < squares.size(); ++i)
            ASSERT_NEAR(levels[i], single.next(squares[i]), 1e-4) << attack << " " << release << " at " << i;
    }
}

TEST(DynamicsProcessor, ParameterRangesClampAndUnknownIdsAreRefused)
{
    DynamicsProcessor d;
    EXPECT_TRUE(d.setParameter(DynamicsProcessor::overallGain, 99));
    EXPECT_EQ(d.parameter(DynamicsProcessor::overallGain), 40.0f);
    EXPECT_TRUE(d.setParameter(DynamicsProcessor::attackTime, 0));
    EXPECT_EQ(d.parameter(DynamicsProcessor::attackTime), 0.0001f);
    EXPECT_FALSE(d.setParameter(7, 0));
    EXPECT_EQ(DynamicsProcessor::range(DynamicsProcessor::threshold).minimum, -40.0f);
    EXPECT_EQ(DynamicsProcessor::range(DynamicsProcessor::threshold).maximum, 20.0f);
}

double multibandGainDB(MultibandCompressor& m, double hz)
{
    std::vector<float> left = test::sine(hz, 48000, 48000, 0.25), right = left;
    const auto in = left;
    m.prepare(48000, 4096);
    test::inBlocks(left, right, 1024, [&](float* const* ch, uint32_t n) { m.process(ch, 2, n); });
    return test::dB(test::rms(left, 24000) / test::rms(in, 24000));
}

void neutral(MultibandCompressor& m)
{
    for (uint32_t b = 0; b < 4; ++b) {
        m.setParameter(MultibandCompressor::threshold1 + b, 0);
        m.setParameter(MultibandCompressor::headroom1 + b, 40);
    }
}

TEST(MultibandCompressor, NeutralBandsSumFlat)
{
    MultibandCompressor m;
    neutral(m);
    for (double hz : {40.0, 120.0, 400.0, 700.0, 2000.0, 3000.0, 10000.0})
        EXPECT_NEAR(multibandGainDB(m, hz), 0, 0.01) << hz;
}

TEST(MultibandCompressor, BandGainActsOnItsBandOnly)
{
    MultibandCompressor m;
    neutral(m);
    m.setParameter(MultibandCompressor::bandGain1 + 3, 6);
    EXPECT_NEAR(multibandGainDB(m, 12000), 6, 0.05);
    EXPECT_NEAR(multibandGainDB(m, 50), 0, 0.05);
    m.setParameter(MultibandCompressor::postGain, -6);
    EXPECT_NEAR(multibandGainDB(m, 50), -6, 0.05);
}

TEST(MultibandCompressor, CrossoversAboveNyquistStayStable)
{
    MultibandCompressor m;
    neutral(m);
    m.setParameter(MultibandCompressor::crossover3, 20000);
    std::vector<float> left = test::sine(1000, 8000, 8000, 0.25), right = left;
    m.prepare(8000, 4096);
    test::inBlocks(left, right, 512, [&](float* const* ch, uint32_t n) { m.process(ch, 2, n); });
    for (float v : left) ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(test::rms(left, 4000), 0.25 / std::sqrt(2.0), 0.01);
}

}  // namespace
}  // namespace quorel
