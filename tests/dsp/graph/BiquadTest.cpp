#include "BiquadFilter.h"
#include "BiquadCoefficients.h"
#include "SignalHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace quorel {
namespace {

// Measured steady-state gain of a filter for a sine, in dB.
double measuredGainDB(const BiquadCoefficients& c, double sampleRate, double hz)
{
    const size_t n = size_t(sampleRate);  // one second, the second half measured
    std::vector<float> x = test::sine(hz, sampleRate, n, 0.25);
    std::vector<float> y = x;
    BiquadFilter f;
    f.setCoefficients(c);
    f.process(y.data(), uint32_t(n), 0);
    return test::dB(test::rms(y, n / 2) / test::rms(x, n / 2));
}

TEST(BiquadFilter, ButterworthHighPassIsThreeDecibelsDownAtItsFrequency)
{
    const auto c = BiquadCoefficients::highPass(48000, 80);
    EXPECT_NEAR(c.magnitudeDB(48000, 80), -3.0103, 1e-3);
    // Second order: 12 dB per octave well below the corner.
    EXPECT_NEAR(c.magnitudeDB(48000, 20), -24.1, 0.2);
    EXPECT_NEAR(c.magnitudeDB(48000, 5000), 0, 0.01);
    EXPECT_NEAR(measuredGainDB(c, 48000, 80), -3.01, 0.05);
}

TEST(BiquadFilter, LinkwitzRileyPairSumsToTheAllPass)
{
    const double fs = 44100, fc = 700;
    const auto lp = BiquadCoefficients::lowPass(fs, fc), hp = BiquadCoefficients::highPass(fs, fc);
    const auto ap = BiquadCoefficients::allPass(fs, fc);
    for (double f : {50.0, 300.0, 700.0, 1500.0, 9000.0}) EXPECT_NEAR(ap.magnitudeDB(fs, f), 0, 1e-9) << f;
    // Each 4th-order half is 6 dB down at the crossover.
    EXPECT_NEAR(2 * lp.magnitudeDB(fs, fc), -6.0206, 1e-3);
    EXPECT_NEAR(2 * hp.magnitudeDB(fs, fc), -6.0206, 1e-3);
    // Impulse: LP(LP(x)) + HP(HP(x)) equals AP(x) sample for sample.
    std::vector<float> impulse(2048, 0.0f), low, high, all;
    impulse[0] = 1;
    low = high = all = impulse;
    BiquadFilter l1, l2, h1, h2, a;
    l1.setCoefficients(lp);
    l2.setCoefficients(lp);
    h1.setCoefficients(hp);
    h2.setCoefficients(hp);
    a.setCoefficients(ap);
    l1.process(low.data(), 2048, 0);
    l2.process(low.data(), 2048, 0);
    h1.process(high.data(), 2048, 0);
    h2.process(high.data(), 2048, 0);
    a.process(all.data(), 2048, 0);
    for (size_t i = 0; i < 2048; ++i) ASSERT_NEAR(low[i] + high[i], all[i], 1e-6) << i;
}

TEST(BiquadFilter, ShelvesReachTheirGainAtTheEnds)
{
    const auto low = BiquadCoefficients::lowShelf(48000, 100, 1.9, 6);
    EXPECT_NEAR(low.magnitudeDB(48000, 1), 6, 0.01);
    EXPECT_NEAR(low.magnitudeDB(48000, 20000), 0, 0.05);
    const auto high = BiquadCoefficients::highShelf(48000, 8000, 1.9, -4);
    EXPECT_NEAR(high.magnitudeDB(48000, 23999), -4, 0.05);
    EXPECT_NEAR(high.magnitudeDB(48000, 20), 0, 0.01);
    // Half the gain at the shelf frequency.
    EXPECT_NEAR(low.magnitudeDB(48000, 100), 3, 0.05);
}

TEST(BiquadFilter, FrequencyAtOrAboveNyquistGivesTheIdentity)
{
    EXPECT_TRUE(BiquadCoefficients::peaking(32000, 16000, 1.0 / 3, 6).isIdentity());
    EXPECT_TRUE(BiquadCoefficients::peaking(32000, 20000, 1.0 / 3, 6).isIdentity());
    EXPECT_TRUE(BiquadCoefficients::highPass(8000, 4000).isIdentity());
    EXPECT_TRUE(BiquadCoefficients::peaking(48000, 1000, 1.0 / 3, 0).isIdentity());
    EXPECT_TRUE(BiquadCoefficients::peaking(48000, 0, 1.0 / 3, 3).isIdentity());
}

TEST(BiquadFilter, NonFiniteInputDoesNotPoisonTheFilterForever)
{
    BiquadFilter f;
    f.setCoefficients(BiquadCoefficients::peaking(48000, 1000, 1.0 / 3, 6));
    std::vector<float> x(512, 0.0f);
    x[10] = std::numeric_limits<float>::quiet_NaN();
    f.process(x.data(), 512, 0);
    std::vector<float> next = test::sine(1000, 48000, 512, 0.1);
    f.process(next.data(), 512, 0);
    for (float v : next) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace quorel
