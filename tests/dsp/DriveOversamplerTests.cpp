#include "DriveCurve.h"
#include "DriveOversampler.h"
#include "OversamplingFilter.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace quorel;

namespace {

std::vector<float> sine(double frequency, double amplitude, double sampleRate, size_t frames)
{
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / sampleRate));
    return out;
}

// The drive written the plain way: zero-stuff, convolve at the high rate, shape every sample,
// convolve again and keep every factor-th sample, with the whole signal at once. `curveOf(i)` is
// the curve in force at input frame i.
template <typename CurveOf>
std::vector<float> referenceDrive(const std::vector<float>& x, uint32_t factor, CurveOf curveOf)
{
    if (factor == 1) {
        std::vector<float> out(x.size());
        for (size_t i = 0; i < x.size(); ++i) out[i] = curveOf(i).shapeSample(x[i]);
        return out;
    }
    std::vector<float> h(OversamplingFilter::taps);
    OversamplingFilter::design(factor, h.data());
    const size_t n = x.size(), N = n * factor, P = h.size();
    std::vector<double> up(N + P - 1, 0.0);
    for (size_t i = 0; i < n; ++i) up[P - 1 + i * factor] = double(x[i]) * factor;
    std::vector<float> shaped(N + P - 1, 0.0f);
    for (size_t m = 0; m < N; ++m) {
        double sum = 0;
        for (size_t p = 0; p < P; ++p) sum += up[m + p] * h[p];
        shaped[P - 1 + m] = curveOf(m / factor).shapeSample(static_cast<float>(sum));
    }
    std::vector<float> out(n);
    for (size_t k = 0; k < n; ++k) {
        double sum = 0;
        for (size_t p = 0; p < P; ++p) sum += double(shaped[k * factor + p]) * h[p];
        out[k] = static_cast<float>(sum);
    }
    return out;
}

std::vector<float> referenceDrive(const std::vector<float>& x, uint32_t factor, const DriveCurve& curve)
{
    return referenceDrive(x, factor, [&](size_t) -> const DriveCurve& { return curve; });
}

// Amplitude of the component at `frequency` over a whole number of its periods (a single-bin DFT).
double amplitudeAt(const std::vector<float>& x, size_t start, size_t length, double frequency, double rate)
{
    double re = 0, im = 0;
    for (size_t i = 0; i < length; ++i) {
        const double angle = 2 * std::numbers::pi * frequency * double(i) / rate;
        re += double(x[start + i]) * std::cos(angle);
        im -= double(x[start + i]) * std::sin(angle);
    }
    return 2 * std::hypot(re, im) / double(length);
}

// Gain of the linear part of the drive (interpolation, then decimation, by the same linear-phase
// filter) for a tone at `frequency`: the filter's amplitude squared, summed over the tone and its
// images at the high rate that fold back onto it (the delay of both filters is a whole number of
// frames, so the images add in phase).
double filtersGainDB(uint32_t factor, double frequency, double rate)
{
    std::vector<float> h(OversamplingFilter::taps);
    OversamplingFilter::design(factor, h.data());
    const double centre = (OversamplingFilter::taps - 1) / 2.0;
    double sum = 0;
    for (uint32_t m = 0; m < factor; ++m) {
        const double cycles = (frequency / rate + m) / factor;
        double amplitude = 0;
        for (size_t k = 0; k < h.size(); ++k)
            amplitude += double(h[k]) * std::cos(2 * std::numbers::pi * cycles * (double(k) - centre));
        sum += amplitude * amplitude;
    }
    return 20 * std::log10(std::fabs(sum));
}

std::vector<float> run(DriveOversampler& drive, std::vector<float> x, uint32_t block, const DriveCurve& curve,
                       float* activity = nullptr)
{
    float largest = 0;
    for (size_t start = 0; start < x.size(); start += block) {
        const uint32_t frames = static_cast<uint32_t>(std::min<size_t>(block, x.size() - start));
        largest = std::max(largest, drive.process(x.data() + start, frames, curve).activity);
    }
    if (activity) *activity = largest;
    return x;
}

}  // namespace

TEST(OversamplingFilter, FactorFollowsTheSampleRate)
{
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(44100), 4u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(48000), 4u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(63999), 4u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(64000), 2u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(96000), 2u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(128000), 1u);
    EXPECT_EQ(OversamplingFilter::factorForSampleRate(192000), 1u);
}

TEST(OversamplingFilter, BesselSeriesMatchesKnownValues)
{
    EXPECT_DOUBLE_EQ(OversamplingFilter::besselI0(0), 1.0);
    EXPECT_NEAR(OversamplingFilter::besselI0(1), 1.2660658777520082, 1e-12);
    EXPECT_NEAR(OversamplingFilter::besselI0(6), 67.23440697647798, 1e-9);
}

TEST(OversamplingFilter, PassesTheBandAndStopsItsImages)
{
    for (uint32_t factor : {2u, 4u}) {
        std::vector<float> h(OversamplingFilter::taps);
        OversamplingFilter::design(factor, h.data());
        double sum = 0;
        for (float c : h) sum += c;
        EXPECT_NEAR(sum, 1.0, 1e-6);
        for (size_t k = 0; k < h.size(); ++k) EXPECT_EQ(h[k], h[h.size() - 1 - k]);
        // In cycles per oversampled sample: the original Nyquist frequency is 0.5 / factor.
        const double nyquist = 0.5 / factor;
        for (double f = 0; f <= 0.85 * nyquist; f += nyquist / 50)
            EXPECT_NEAR(OversamplingFilter::magnitude(h.data(), h.size(), f), 1.0, 0.01) << f;
        for (double f = 1.15 * nyquist; f <= 0.5; f += nyquist / 50)
            EXPECT_LT(OversamplingFilter::magnitude(h.data(), h.size(), f), std::pow(10, -60 / 20.0)) << f;
    }
    float single = 0;
    OversamplingFilter::design(1, &single);
    EXPECT_EQ(single, 1.0f);
}

TEST(DriveCurve, ClampsAndDerivesGainAndKnee)
{
    const DriveCurve full = DriveCurve::make(1, 1);
    EXPECT_NEAR(full.gain, 1.9953, 1e-4);
    EXPECT_FLOAT_EQ(full.knee, 0.5f);
    EXPECT_FLOAT_EQ(DriveCurve::make(2, 0.05f).amount, 1.0f);
    EXPECT_FLOAT_EQ(DriveCurve::make(-1, 0.05f).amount, 0.0f);
    EXPECT_FLOAT_EQ(DriveCurve::make(0.5f, 0.05f).ceiling, 0.1f);
    EXPECT_FLOAT_EQ(DriveCurve::make(0.5f, 3).ceiling, 1.0f);
}

TEST(DriveCurve, TanhApproximationIsAccurate)
{
    for (float x = 0; x < 20; x += 0.001f) ASSERT_NEAR(driveTanh(x), std::tanh(x), 3e-7) << x;
    EXPECT_EQ(driveTanh(std::numeric_limits<float>::infinity()), 1.0f);
    EXPECT_EQ(driveTanh(0), 0.0f);
}

TEST(DriveCurve, BlockShapingMatchesTheCurveAndStaysBelowTheCeiling)
{
    for (float amount : {0.0f, 0.3f, 1.0f}) {
        const DriveCurve curve = DriveCurve::make(amount, 0.8f);
        std::vector<float> block;
        for (float s = -3; s <= 3; s += 0.0037f) block.push_back(s);
        block.push_back(0.1f);  // odd length: the tail goes through the same curve
        std::vector<float> shaped = block;
        const float activity = curve.shape(shaped.data(), static_cast<uint32_t>(shaped.size()));
        float largest = 0;
        for (size_t i = 0; i < block.size(); ++i) {
            ASSERT_NEAR(shaped[i], curve.shapeSample(block[i]), 1e-6) << block[i];
            if (amount > 0) {
                ASSERT_LE(std::fabs(shaped[i]), 0.8f);
            }
            largest = std::max(largest, std::fabs(block[i] * curve.gain / curve.ceiling));
        }
        EXPECT_FLOAT_EQ(activity, amount > 0 ? largest : 0.0f);
    }
}

// So small an amount that the knee rounds to 1 and the span above it to 0: the bend must stay
// finite (a division by the zero span must not turn into a not-a-number).
TEST(DriveCurve, TinyAmountKeepsTheCurveFinite)
{
    const DriveCurve curve = DriveCurve::make(1e-9f, 0.5f);
    ASSERT_EQ(curve.knee, 1.0f);
    std::vector<float> block = {-4, -1, -0.5f, 0, 0.25f, 0.5f, 0.5000001f, 1, 3, 1e30f, -1e30f};
    const std::vector<float> input = block;
    curve.shape(block.data(), uint32_t(block.size()));
    for (size_t i = 0; i < block.size(); ++i) {
        ASSERT_TRUE(std::isfinite(block[i])) << input[i];
        EXPECT_LE(std::fabs(block[i]), 0.5f) << input[i];
        EXPECT_EQ(std::signbit(block[i]), std::signbit(input[i])) << input[i];
    }
}

TEST(DriveCurve, FullScaleSineAtFullAmountPeaksBelowTheTanhLimit)
{
    const DriveCurve curve = DriveCurve::make(1, 1);
    std::vector<float> x = sine(997, 1.0, 48000, 4800);
    const float activity = curve.shape(x.data(), static_cast<uint32_t>(x.size()));
    EXPECT_NEAR(activity, 1.995, 0.001);
    const float limit = 0.5f + 0.5f * std::tanh(2.99f);
    for (float s : x) ASSERT_LE(std::fabs(s), limit + 1e-5f);
}

TEST(DriveOversampler, MatchesThePlainZeroStuffedConvolution)
{
    for (uint32_t factor : {1u, 2u, 4u}) {
        const DriveCurve curve = DriveCurve::make(1, 0.9f);
        const std::vector<float> x = sine(3000, 0.9, 48000, 1500);
        const std::vector<float> expected = referenceDrive(x, factor, curve);
        DriveOversampler drive;
        ASSERT_TRUE(drive.allocate(factor, 256));
        const std::vector<float> got = run(drive, x, 256, curve);
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_NEAR(got[i], expected[i], 2e-6) << "factor " << factor << " frame " << i;
    }
}

TEST(DriveOversampler, BlockSizeDoesNotChangeTheOutput)
{
    const DriveCurve curve = DriveCurve::make(0.7f, 0.95f);
    const std::vector<float> x = sine(5100, 1.0, 48000, 2000);
    DriveOversampler whole;
    ASSERT_TRUE(whole.allocate(4, 2000));
    const std::vector<float> expected = run(whole, x, 2000, curve);
    for (uint32_t block : {1u, 3u, 16u, 17u, 31u, 33u, 128u, 257u, 1000u}) {
        DriveOversampler drive;
        ASSERT_TRUE(drive.allocate(4, 1000));
        const std::vector<float> got = run(drive, x, block, curve);
        // Exactly: offline and real-time renders of the same signal must agree whatever the
        // block size.
        for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "block " << block << " frame " << i;
    }
}

TEST(DriveOversampler, AmountZeroPassesTheSignalDelayedByTheLatency)
{
    for (double rate : {48000.0, 96000.0, 192000.0}) {
        const uint32_t factor = OversamplingFilter::factorForSampleRate(rate);
        DriveOversampler drive;
        ASSERT_TRUE(drive.allocate(factor, 512));
        EXPECT_EQ(drive.latencyFrames(), factor == 4 ? 32u : factor == 2 ? 64u : 0u);
        const std::vector<float> x = sine(1000, 0.5, rate, 4096);
        float activity = -1;
        const std::vector<float> y = run(drive, x, 512, DriveCurve::make(0, 1), &activity);
        EXPECT_EQ(activity, 0.0f);
        const uint32_t delay = drive.latencyFrames();
        for (size_t i = 200; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i - delay], 1e-3) << rate << " " << i;
    }
}

// Amount 0 still runs both filters: switching to it and back changes nothing but the shaping,
// and the output is what the filters give with each call's curve.
TEST(DriveOversampler, AmountZeroKeepsBothFiltersRunning)
{
    const DriveCurve off = DriveCurve::make(0, 0.9f), on = DriveCurve::make(0.8f, 0.9f);
    const DriveCurve* curves[] = {&off, &off, &on, &on, &off, &off, &on};
    const uint32_t block = 512;
    const std::vector<float> x = test::whiteNoise(0.7, std::size(curves) * block, 3);
    const std::vector<float> expected =
        referenceDrive(x, 4, [&](size_t frame) -> const DriveCurve& { return *curves[frame / block]; });
    DriveOversampler drive;
    ASSERT_TRUE(drive.allocate(4, block));
    std::vector<float> y = x;
    for (size_t call = 0; call < std::size(curves); ++call) {
        const float activity = drive.process(y.data() + call * block, block, *curves[call]).activity;
        EXPECT_EQ(activity == 0, curves[call]->amount == 0) << call;
    }
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], expected[i], 2e-6) << i;
}

// Tones just below the original Nyquist frequency, where the filters roll off: amount 0 leaves
// them at the level the filters give, as the smallest amount does.
TEST(DriveOversampler, AmountZeroKeepsTheFiltersRollOffNearNyquist)
{
    struct Tone {
        double rate, frequency;
    };
    for (const Tone tone : {Tone{44100, 21000}, Tone{44100, 20000}, Tone{48000, 23000}}) {
        const uint32_t factor = OversamplingFilter::factorForSampleRate(tone.rate);
        const size_t length = static_cast<size_t>(tone.rate);  // one second: whole periods
        const size_t settle = 2048;
        const std::vector<float> x = sine(tone.frequency, 0.5, tone.rate, settle + length);
        auto levelDB = [&](float amount) {
            DriveOversampler drive;
            EXPECT_TRUE(drive.allocate(factor, 512));
            const std::vector<float> y = run(drive, x, 512, DriveCurve::make(amount, 1));
            return 20 * std::log10(amplitudeAt(y, settle, length, tone.frequency, tone.rate) / 0.5);
        };
        const double zero = levelDB(0), smallest = levelDB(0.001f);
        const double filters = filtersGainDB(factor, tone.frequency, tone.rate);
        EXPECT_NEAR(zero, smallest, 0.05) << tone.frequency << " Hz at " << tone.rate;
        EXPECT_NEAR(zero, filters, 0.05) << tone.frequency << " Hz at " << tone.rate;
        EXPECT_LT(filters, -0.1) << tone.frequency << " Hz at " << tone.rate;
    }
}

TEST(DriveOversampler, NotFiniteInputCountsAsZero)
{
    DriveOversampler drive;
    ASSERT_TRUE(drive.allocate(4, 64));
    std::vector<float> x(64, 0.0f);
    x[3] = std::numeric_limits<float>::quiet_NaN();
    x[9] = std::numeric_limits<float>::infinity();
    x[10] = -std::numeric_limits<float>::infinity();
    drive.process(x.data(), 64, DriveCurve::make(1, 1));
    for (float s : x) EXPECT_EQ(s, 0.0f);
}

TEST(DriveOversampler, ResetClearsTheHistory)
{
    const DriveCurve curve = DriveCurve::make(0.5f, 1);
    DriveOversampler drive;
    ASSERT_TRUE(drive.allocate(4, 256));
    std::vector<float> loud = sine(440, 1, 48000, 256);
    drive.process(loud.data(), 256, curve);
    drive.reset();
    std::vector<float> silence(256, 0.0f);
    drive.process(silence.data(), 256, curve);
    for (float s : silence) EXPECT_EQ(s, 0.0f);
}

// A 7 kHz sine at 0 dBFS peak, amount 1, ceiling -1 dB, 48 kHz: every component that is not
// the tone or one of its harmonics below Nyquist is an alias folded back by the shaping; all of
// them stay at least 70 dB under the tone.
TEST(DriveOversampler, AliasesStaySeventyDecibelsDown)
{
    const double rate = 48000;
    const size_t length = 48000;  // one second: every component falls on a whole bin
    const size_t settle = 4800;
    DriveOversampler drive;
    ASSERT_TRUE(drive.allocate(OversamplingFilter::factorForSampleRate(rate), 512));
    const DriveCurve curve = DriveCurve::make(1, std::pow(10.0f, -1.0f / 20));
    const std::vector<float> y = run(drive, sine(7000, 1.0, rate, length + settle), 512, curve);

    std::vector<float> in(y.begin() + settle, y.end());
    std::vector<fftwf_complex> bins(length / 2 + 1);
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(length), in.data(), bins.data(), FFTW_ESTIMATE);
    fftwf_execute(plan);
    fftwf_destroy_plan(plan);
    auto level = [&](size_t bin) { return std::hypot(double(bins[bin][0]), double(bins[bin][1])); };
    const double tone = level(7000);
    ASSERT_GT(tone, 0.3 * length / 2);
    double worst = 0;
    size_t worstBin = 0;
    for (size_t bin = 1; bin <= length / 2; ++bin) {
        if (bin % 7000 == 0) continue;  // the tone and its harmonics that fit below Nyquist (7 and 21 kHz)
        if (level(bin) > worst) {
            worst = level(bin);
            worstBin = bin;
        }
    }
    const double below = 20 * std::log10(tone / worst);
    EXPECT_GE(below, 70) << "worst alias at " << worstBin << " Hz";
    RecordProperty("aliasesBelowToneDB", std::to_string(below));
}
