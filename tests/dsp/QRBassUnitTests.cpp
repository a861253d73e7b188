#include "AllocationCounter.h"
#include "BassHarmonics.h"
#include "QRBassUnit.h"
#include "QREffects.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace quorel {
namespace {

using test::Channels;

// Amplitude of the component at `frequency` in a whole number of its periods (a single-bin DFT).
double amplitudeAt(const std::vector<float>& x, size_t start, size_t length, double frequency, double rate)
{
    std::complex<double> sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum += double(x[start + i]) * std::polar(1.0, -2 * std::numbers::pi * frequency * double(i) / rate);
    return 2 * std::abs(sum) / double(length);
}

TEST(BassHarmonics, FiltersMeetTheirCornerFrequencies)
{
    const double rate = 48000;
    BassHarmonics harmonics;
    harmonics.prepare(rate);
    const BassHarmonics::Channel& bass = harmonics.channel[1];
    const double corner = std::numbers::sqrt2 / 2;  // -3 dB of a Butterworth section
    EXPECT_NEAR(BassHarmonics::magnitude(bass.bandHigh, 30, rate), corner, 1e-3);
    EXPECT_NEAR(BassHarmonics::magnitude(bass.bandLow, 110, rate), corner, 1e-3);
    EXPECT_NEAR(BassHarmonics::magnitude(bass.harmonicLow, 500, rate), corner, 1e-3);
    EXPECT_NEAR(BassHarmonics::magnitude(bass.harmonicHigh1, 90, rate), 0.54, 1e-3);  // Q at the corner
    EXPECT_NEAR(BassHarmonics::magnitude(bass.harmonicHigh2, 90, rate), 1.31, 1e-3);
    EXPECT_LT(BassHarmonics::magnitude(bass.bandLow, 1000, rate), 0.02);
    EXPECT_NEAR(harmonics.attackCoefficient, 1 - std::exp(-1 / (0.003 * rate)), 1e-7);
    EXPECT_NEAR(harmonics.releaseCoefficient, 1 - std::exp(-1 / (0.06 * rate)), 1e-7);
}

TEST(BassHarmonics, FrequenciesAreLimitedBelowNyquist)
{
    EXPECT_EQ(BassHarmonics::lowPass(500, 0.7, 1000), BassHarmonics::lowPass(450, 0.7, 1000));
    EXPECT_NE(BassHarmonics::lowPass(440, 0.7, 1000), BassHarmonics::lowPass(450, 0.7, 1000));
}

TEST(QRBassUnit, ConfigureClampsAndIgnoresValuesThatAreNotFinite)
{
    QRBassUnit unit;
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.0f);
    unit.configureAmount(0.6f);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.6f);
    unit.configureAmount(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.6f);
    unit.configureAmount(4);
    EXPECT_EQ(unit.state().parameters.latest().amount, 1.0f);
    unit.configureAmount(-4);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.0f);
    EXPECT_EQ(unit.latency(), 0.0);
}

TEST(QRBassUnit, BelowTheAudibleAmountOutputEqualsInput)
{
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.configureAmount(0.04f);
    const auto left = test::sine(55, 0.9, 48000, 9600);
    const auto right = test::whiteNoise(0.5, 9600, 11);
    const Channels out = test::renderThrough(unit, {left, right});
    EXPECT_EQ(out[0], left);
    EXPECT_EQ(out[1], right);
}

// The unit written the plain way, in double precision, for one channel: the cookbook sections
// with their coefficients rounded to float as the unit keeps them, the envelope follower, the
// Chebyshev mix and the sum, sample by sample.
class ReferenceBass {
public:
    explicit ReferenceBass(double rate)
        : bandHigh(section(true, 30, std::numbers::sqrt2 / 2, rate)),
          bandLow(section(false, 110, std::numbers::sqrt2 / 2, rate)), harmonicHigh1(section(true, 90, 0.54, rate)),
          harmonicHigh2(section(true, 90, 1.31, rate)), harmonicLow(section(false, 500, std::numbers::sqrt2 / 2, rate)),
          attack(float(1 - std::exp(-1 / (0.003 * rate)))), release(float(1 - std::exp(-1 / (0.06 * rate))))
    {
    }

    double process(double x, double amount)
    {
        const double b = bandLow.process(bandHigh.process(x));
        envelope += (std::fabs(b) - envelope) * (std::fabs(b) > envelope ? attack : release);
        const double n = std::clamp(b / std::max(envelope, 0.0001), -1.0, 1.0);
        const double t2 = 2 * n * n - 1, t3 = 4 * n * n * n - 3 * n, t4 = 8 * n * n * n * n - 8 * n * n + 1;
        const double h =
            harmonicLow.process(harmonicHigh2.process(harmonicHigh1.process((t2 + 0.7 * t3 + 0.4 * t4) * envelope)));
        return amount >= 0.05 ? x + 0.9 * amount * h : x;
    }

private:
    struct Section {
        double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
        double process(double x)
        {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };

    static Section section(bool highPass, double frequency, double q, double rate)
    {
        const double w0 = 2 * std::numbers::pi * std::min(frequency, 0.45 * rate) / rate;
        const double c = std::cos(w0), alpha = std::sin(w0) / (2 * q), a0 = 1 + alpha;
        const double side = (highPass ? 1 + c : 1 - c) / 2 / a0;
        auto stored = [](double v) { return double(float(v)); };
        return {stored(side), stored(highPass ? -2 * side : 2 * side), stored(side), stored(-2 * c / a0),
                stored((1 - alpha) / a0)};
    }

    Section bandHigh, bandLow, harmonicHigh1, harmonicHigh2, harmonicLow;
    double attack, release;
    double envelope = 0;
};

// Lowering the amount below the audible one and raising it again: the filters and the envelope
// keep following the signal all along, and each amount applies from its first sample, so every
// stretch is what the plain form of the unit gives.
TEST(QRBassUnit, ChangingTheAmountKeepsTheFiltersAndTheEnvelopeRunning)
{
    const double rate = 48000;
    const size_t length = 24000;
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, rate, 1));
    ReferenceBass reference(rate);
    const auto tone = test::sine(60, 0.3, rate, 4 * length);
    const float amounts[] = {1, 0.04f, 1, 0.5f};
    for (size_t part = 0; part < std::size(amounts); ++part) {
        unit.configureAmount(amounts[part]);
        const std::vector<float> piece(tone.begin() + long(part * length), tone.begin() + long((part + 1) * length));
        const std::vector<float> out = test::renderThrough(unit, {piece})[0];
        double largestError = 0;
        for (size_t i = 0; i < length; ++i) {
            const double expected = reference.process(piece[i], amounts[part]);
            largestError = std::max(largestError, std::fabs(double(out[i]) - expected));
        }
        // The unit works in float: the rounding of its sections and of the normalization stays
        // within a few 1e-4.
        EXPECT_LT(largestError, 2e-3) << "amount " << amounts[part];
        if (amounts[part] < 0.05f) {
            EXPECT_EQ(out, piece);
        }
    }
}

TEST(QRBassUnit, DeepBassGainsItsSecondThirdAndFourthHarmonics)
{
    const double rate = 48000;
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, rate, 1));
    unit.configureAmount(1);
    const auto tone = test::sine(60, 0.5, rate, 96000);
    const Channels out = test::renderThrough(unit, {tone});
    std::vector<float> added(tone.size());
    for (size_t i = 0; i < tone.size(); ++i) added[i] = out[0][i] - tone[i];
    const size_t start = 48000, length = 48000;  // one second after the filters settled
    const double h2 = amplitudeAt(added, start, length, 120, rate);
    const double h3 = amplitudeAt(added, start, length, 180, rate);
    const double h4 = amplitudeAt(added, start, length, 240, rate);
    EXPECT_GT(h2, 0.02);
    EXPECT_GT(h3, 0.02);
    EXPECT_GT(h4, 0.02);
    // The envelope is about 2/pi of the band's peak; the harmonic mix is at most 2.1 times it and
    // the filters pass at most about 1.4 times it.
    for (size_t i = start; i < start + length; ++i) ASSERT_LT(std::fabs(added[i]), 0.9 * 0.5 * 2.1 * 1.4);
    EXPECT_GT(amplitudeAt(out[0], start, length, 60, rate), 0.45);  // the dry tone is kept
}

TEST(QRBassUnit, BlockSizeDoesNotChangeTheOutput)
{
    const auto left = test::whiteNoise(0.8, 6000, 21);
    const auto right = test::sine(70, 0.7, 48000, 6000);
    Channels expected;
    for (uint32_t block : {4096u, 1u, 63u, 64u, 65u, 1000u}) {
        QRBassUnit unit;
        ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
        unit.configureAmount(0.8f);
        const Channels out = test::renderThrough(unit, {left, right}, block);
        if (expected.empty())
            expected = out;
        else
            EXPECT_EQ(out, expected) << block;
    }
    // A mono unit renders its channel as the stereo unit renders its left one.
    QRBassUnit mono;
    ASSERT_TRUE(test::prepareUnit(mono, 48000, 1));
    mono.configureAmount(0.8f);
    EXPECT_EQ(test::renderThrough(mono, {left}, 500)[0], expected[0]);
}

TEST(QRBassUnit, ContentAboveTheBassBandAddsAlmostNothing)
{
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 1));
    unit.configureAmount(1);
    const auto tone = test::sine(1000, 0.9, 48000, 48000);
    const Channels out = test::renderThrough(unit, {tone});
    double largest = 0;
    for (size_t i = 4800; i < tone.size(); ++i) largest = std::max(largest, double(std::fabs(out[0][i] - tone[i])));
    EXPECT_LT(largest, 0.01);
}

TEST(QRBassUnit, SilenceStaysSilentAndKeepsTheSilenceFlag)
{
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.configureAmount(1);
    std::vector<float> zeros(512, 0.0f), outLeft(512, 1.0f), outRight(512, 1.0f);
    const float* in[2] = {zeros.data(), zeros.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    RenderActionFlags flags = renderFlags::outputIsSilence;
    ASSERT_EQ(test::renderOnce(unit, in, out, 2, 512, flags), status::ok);
    EXPECT_EQ(outLeft, zeros);
    EXPECT_EQ(outRight, zeros);
    EXPECT_EQ(flags, renderFlags::outputIsSilence);

    std::vector<float> one(512, 0.0f);
    one[100] = 0.25f;
    in[0] = one.data();
    ASSERT_EQ(test::renderOnce(unit, in, out, 2, 512, flags), status::ok);
    EXPECT_EQ(flags & renderFlags::outputIsSilence, 0u);
}

TEST(QRBassUnit, NotFiniteSamplesCountAsZeroAndResetRestsTheState)
{
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 1));
    unit.configureAmount(1);
    auto tone = test::sine(50, 1.0, 48000, 4800);
    tone[1000] = std::numeric_limits<float>::quiet_NaN();
    tone[1001] = std::numeric_limits<float>::infinity();
    const Channels out = test::renderThrough(unit, {tone});
    for (float s : out[0]) ASSERT_TRUE(std::isfinite(s));
    EXPECT_GT(unit.state().harmonics.channel[0].envelope, 0.1f);
    unit.reset();
    EXPECT_EQ(unit.state().harmonics.channel[0].envelope, 0.0f);
    EXPECT_EQ(unit.state().harmonics.channel[0].bandHigh.z1, 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().amount, 1.0f);
    const Channels after = test::renderThrough(unit, {std::vector<float>(512, 0.0f)});
    for (float s : after[0]) ASSERT_EQ(s, 0.0f);
}

TEST(QRBassUnit, RegistersOnceAndRenderAllocatesNothing)
{
    EXPECT_EQ(QRRegisterBassUnit(), QRRegisterBassUnit());
    EXPECT_EQ(QRRegisterBassUnit().componentSubType, fourCharCode("qrbs"));
    QRBassUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 44100, 2));
    unit.configureAmount(0.8f);
    const auto loud = test::whiteNoise(1.0, 4096, 5);
    const float* in[2] = {loud.data(), loud.data()};
    float* out[2] = {nullptr, nullptr};  // the unit's own buffers
    RenderActionFlags flags = 0;
    test::AllocationCounter counter;
    for (uint32_t frames : {4096u, 128u, 7u}) ASSERT_EQ(test::renderOnce(unit, in, out, 2, frames, flags), status::ok);
    EXPECT_EQ(counter.allocations(), 0u);
}

}  // namespace
}  // namespace quorel
