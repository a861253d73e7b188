#include "AllocationCounter.h"
#include "RenderHarness.h"
#include "SpectrumAnalyser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quorel {
namespace {

// The 31 third-octave centres of the equalizer.
const std::vector<float> thirdOctaves = {20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,  200,
                                         250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                         3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};

size_t bandOf(float centre)
{
    return size_t(std::find(thirdOctaves.begin(), thirdOctaves.end(), centre) - thirdOctaves.begin());
}

std::vector<float> bandValues(const SpectrumAnalyser& analyser)
{
    std::vector<float> values(SpectrumAnalyser::maximumBands);
    values.resize(analyser.read(values.data(), uint32_t(values.size())));
    return values;
}

TEST(SpectrumAnalyser, MapsThirdOctaveBandsToBins)
{
    SpectrumAnalyser analyser;
    analyser.configure(thirdOctaves.data(), uint32_t(thirdOctaves.size()));
    ASSERT_TRUE(analyser.allocate(48000));
    ASSERT_TRUE(analyser.ready());
    // 20 Hz spans 1.52...1.92 bins: narrower than a bin, so the centre's bin 2 alone.
    EXPECT_EQ(analyser.firstBin(0), 2u);
    EXPECT_EQ(analyser.lastBin(0), 2u);
    EXPECT_EQ(analyser.firstBin(30), 1521u);
    EXPECT_EQ(analyser.lastBin(30), 1915u);
    EXPECT_EQ(analyser.firstBin(bandOf(1000)), 77u);  // 891...1122 Hz
    EXPECT_EQ(analyser.lastBin(bandOf(1000)), 95u);
    for (uint32_t band = 1; band < 31; ++band) EXPECT_LE(analyser.firstBin(band - 1), analyser.firstBin(band)) << band;
}

TEST(SpectrumAnalyser, OddCentresStayInsideTheSpectrum)
{
    const float centres[] = {
        30000, 1e30f, -100, 0, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    SpectrumAnalyser analyser;
    analyser.configure(centres, 6);
    ASSERT_TRUE(analyser.allocate(48000));
    EXPECT_EQ(analyser.firstBin(0), 2047u);  // above Nyquist: the last bin alone
    EXPECT_EQ(analyser.lastBin(0), 2047u);
    EXPECT_EQ(analyser.firstBin(1), 2047u);
    for (uint32_t band = 2; band < 5; ++band) {
        EXPECT_EQ(analyser.firstBin(band), 1u) << band;
        EXPECT_EQ(analyser.lastBin(band), 1u) << band;
    }
    EXPECT_EQ(analyser.firstBin(5), 2047u);
    const std::vector<float> noise = test::whiteNoise(0.5, 4096, 1);
    analyser.feed(noise.data(), uint32_t(noise.size()));
    for (float value : bandValues(analyser)) EXPECT_TRUE(std::isfinite(value));
}

TEST(SpectrumAnalyser, KeepsAtMostSixtyFourBands)
{
    std::vector<float> centres(70);
    for (size_t i = 0; i < centres.size(); ++i) centres[i] = 100.0f + 100.0f * float(i);
    SpectrumAnalyser analyser;
    analyser.configure(centres.data(), 70);
    EXPECT_EQ(analyser.bandCount(), 64u);
    ASSERT_TRUE(analyser.allocate(48000));
    std::vector<float> out(100, -1.0f);
    EXPECT_EQ(analyser.read(out.data(), 100), 64u);
    EXPECT_EQ(out[63], 0.0f);
    EXPECT_EQ(out[64], -1.0f);
    EXPECT_EQ(analyser.read(out.data(), 3), 3u);
    EXPECT_EQ(analyser.read(nullptr, 100), 0u);
    analyser.configure(nullptr, 10);
    EXPECT_EQ(analyser.bandCount(), 0u);
}

TEST(SpectrumAnalyser, WithoutBandsOrRateThereIsNoAnalyser)
{
    SpectrumAnalyser analyser;
    QRSpectrumStatus status = analyser.status();
    EXPECT_EQ(status.bandCount, 0u);
    EXPECT_FALSE(status.ready);
    EXPECT_EQ(status.fftRuns, 0u);
    EXPECT_EQ(status.samplesFed, 0u);
    EXPECT_EQ(status.lastPower, 0.0f);
    EXPECT_TRUE(analyser.allocate(48000));
    EXPECT_FALSE(analyser.ready());

    analyser.configure(thirdOctaves.data(), 31);
    EXPECT_TRUE(analyser.allocate(0));
    EXPECT_FALSE(analyser.ready());
    EXPECT_TRUE(analyser.allocate(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(analyser.ready());
    EXPECT_TRUE(analyser.allocate(44100));
    EXPECT_TRUE(analyser.ready());
    analyser.release();
    EXPECT_FALSE(analyser.ready());
    EXPECT_EQ(analyser.status().bandCount, 31u);
}

TEST(SpectrumAnalyser, SineOfAmplitudeOneTenthReadsOneTenthInItsBand)
{
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        // Tones whose window main lobe (two bins either side) lies inside their band.
        for (float frequency : {1000.0f, 4000.0f, 4300.0f, 12500.0f}) {
            SpectrumAnalyser analyser;
            analyser.configure(thirdOctaves.data(), 31);
            ASSERT_TRUE(analyser.allocate(rate));
            const std::vector<float> tone = test::sine(frequency, 0.1, rate, 8192);
            analyser.feed(tone.data(), uint32_t(tone.size()));
            const std::vector<float> values = bandValues(analyser);
            // The band whose range holds the tone's whole main lobe.
            size_t band = 0;
            for (size_t b = 0; b < 31; ++b)
                if (frequency >= thirdOctaves[b] * 0.8909f && frequency <= thirdOctaves[b] * 1.1225f) band = b;
            EXPECT_NEAR(values[band], 0.1f, 0.002f) << rate << " Hz, tone " << frequency;
            for (size_t b = 0; b < 31; ++b)
                if (b + 2 < band || b > band + 2) {
                    EXPECT_LT(values[b], 0.001f) << rate << " Hz, tone " << frequency << ", band " << b;
                }
        }
    }
}

TEST(SpectrumAnalyser, PowerIsTheSumOfBandEnergiesOnTheDoubledTransformScale)
{
    SpectrumAnalyser analyser;
    analyser.configure(thirdOctaves.data(), 31);
    ASSERT_TRUE(analyser.allocate(48000));
    const std::vector<float> tone = test::sine(1000, 0.1, 48000, 4096);
    analyser.feed(tone.data(), 4096);
    // A^2 * 4096 * 1536 for a sine of amplitude A.
    EXPECT_NEAR(analyser.status().lastPower, 0.01 * 4096 * 1536, 0.01 * 0.01 * 4096 * 1536);
}

TEST(SpectrumAnalyser, AnalysesEveryHopWhateverTheBlockSize)
{
    const std::vector<float> noise = test::whiteNoise(0.3, 10000, 4);
    SpectrumAnalyser whole;
    whole.configure(thirdOctaves.data(), 31);
    ASSERT_TRUE(whole.allocate(48000));
    whole.feed(noise.data(), 1023);
    EXPECT_EQ(whole.status().fftRuns, 0u);
    EXPECT_EQ(whole.status().samplesFed, 1023u);
    whole.feed(noise.data() + 1023, 1);
    EXPECT_EQ(whole.status().fftRuns, 1u);
    EXPECT_GT(bandValues(whole)[bandOf(1000)], 0.0f);  // the first values after 1024 samples
    whole.feed(noise.data() + 1024, 10000 - 1024);
    EXPECT_EQ(whole.status().fftRuns, 9u);

    SpectrumAnalyser pieces;
    pieces.configure(thirdOctaves.data(), 31);
    ASSERT_TRUE(pieces.allocate(48000));
    for (size_t start = 0; start < noise.size(); start += 333)
        pieces.feed(noise.data() + start, uint32_t(std::min<size_t>(333, noise.size() - start)));
    EXPECT_EQ(bandValues(pieces), bandValues(whole));
    EXPECT_EQ(pieces.status().samplesFed, 10000u);
}

TEST(SpectrumAnalyser, ResetClearsValuesAndRingButKeepsMappingAndCounters)
{
    SpectrumAnalyser analyser;
    analyser.configure(thirdOctaves.data(), 31);
    ASSERT_TRUE(analyser.allocate(48000));
    const std::vector<float> tone = test::sine(1000, 0.5, 48000, 4096);
    analyser.feed(tone.data(), 4096);
    analyser.reset();
    for (float value : bandValues(analyser)) EXPECT_EQ(value, 0.0f);
    EXPECT_TRUE(analyser.ready());
    EXPECT_EQ(analyser.lastBin(30), 1915u);
    EXPECT_EQ(analyser.status().fftRuns, 4u);
    EXPECT_EQ(analyser.status().samplesFed, 4096u);
    // The ring was cleared: silence afterwards reads nothing of the tone.
    const std::vector<float> silence(1024, 0.0f);
    analyser.feed(silence.data(), 1024);
    for (float value : bandValues(analyser)) EXPECT_EQ(value, 0.0f);
}

TEST(SpectrumAnalyser, FeedingAllocatesNothing)
{
    SpectrumAnalyser analyser;
    analyser.configure(thirdOctaves.data(), 31);
    ASSERT_TRUE(analyser.allocate(48000));
    const std::vector<float> noise = test::whiteNoise(0.3, 8192, 9);
    test::AllocationCounter counter;
    analyser.feed(noise.data(), 8192);
    analyser.feed(noise.data(), 17);
    EXPECT_EQ(counter.allocations(), 0u);
    EXPECT_EQ(analyser.status().fftRuns, 8u);
}

}  // namespace
}  // namespace quorel
