#include "CompressorCurve.h"
#include "DynamicsProcessor.h"
#include "MultibandCompressor.h"
#include "SignalHelpers.h"

#include <gtest/gtest.h>

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
