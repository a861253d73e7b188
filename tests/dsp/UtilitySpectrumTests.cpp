#include "QREffects.h"
#include "QRUtilityUnit.h"
#include "RenderHarness.h"
#include "SpectrumAnalyser.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorel {
namespace {

using test::Channels;

const std::vector<float> thirdOctaves = {20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,  200,
                                         250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                         3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};
constexpr size_t band1k = 17;

std::vector<float> spectrum(const QRUtilityUnit& unit)
{
    std::vector<float> values(64);
    values.resize(unit.readSpectrum(values.data(), uint32_t(values.size())));
    return values;
}

TEST(UtilitySpectrum, BandsGivenBeforeAllocationAreBuiltWithTheUnit)
{
    QRUtilityUnit unit;
    unit.configureSpectrum(thirdOctaves.data(), 31);
    QRSpectrumStatus status = unit.spectrumStatus();
    EXPECT_EQ(status.bandCount, 31u);
    EXPECT_FALSE(status.ready);
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    EXPECT_TRUE(unit.spectrumStatus().ready);

    // Given again while allocated: rebuilt at once, counters kept.
    const auto tone = test::sine(1000, 0.1, 48000, 2048);
    test::renderThrough(unit, {tone, tone});
    unit.configureSpectrum(thirdOctaves.data(), 10);
    status = unit.spectrumStatus();
    EXPECT_EQ(status.bandCount, 10u);
    EXPECT_TRUE(status.ready);
    EXPECT_EQ(status.samplesFed, 2048u);
    EXPECT_EQ(status.fftRuns, 2u);
    EXPECT_EQ(spectrum(unit), std::vector<float>(10, 0.0f));

    unit.configureSpectrum(nullptr, 31);
    EXPECT_FALSE(unit.spectrumStatus().ready);
}

// Nobody reading: the samples keep the analyser's ring filled, nothing is transformed. Asked
// again, the next render call brings the whole spectrum of the last 4096 samples.
TEST(UtilitySpectrum, TransformsOnlyWhileWantedAndFillsAtOnceWhenWantedAgain)
{
    QRUtilityUnit unit;
    unit.configureSpectrum(thirdOctaves.data(), 31);
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.setSpectrumWanted(false);
    const auto tone = test::sine(1000, 0.1, 48000, 48000);
    test::renderThrough(unit, {tone, tone}, 512);
    QRSpectrumStatus status = unit.spectrumStatus();
    EXPECT_EQ(status.samplesFed, 48000u);
    EXPECT_EQ(status.fftRuns, 0u);
    EXPECT_EQ(spectrum(unit), std::vector<float>(31, 0.0f));

    unit.setSpectrumWanted(true);
    const auto more = test::sine(1000, 0.1, 48000, 128);
    test::renderThrough(unit, {more, more}, 128);
    EXPECT_EQ(unit.spectrumStatus().fftRuns, 1u);
    EXPECT_NEAR(spectrum(unit)[band1k], 0.1f, 0.002f);
}

// Asked again after a while unread, the bands are those of the last 4096 input frames' mean
// of the two channels, whatever the delay and gain (the delay line's three paths: passing,
// silent and delayed) and wherever the render calls fall against the hops.
TEST(UtilitySpectrum, WantedAgainReadsTheLast4096FramesOfTheInput)
{
    struct Case {
        float gain;
        uint32_t delay;
    };
    for (const Case c : {Case{1, 0}, Case{0, 700}, Case{0.5f, 2500}}) {
        SCOPED_TRACE(testing::Message() << "gain " << c.gain << ", delay " << c.delay);
        QRUtilityUnit unit;
        unit.configureSpectrum(thirdOctaves.data(), 31);
        unit.setGain(c.gain);
        unit.configureDelay(c.delay, 0);
        ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
        unit.setSpectrumWanted(false);
        const Channels input = {test::whiteNoise(0.3, 30000, 5), test::whiteNoise(0.2, 30000, 6)};
        test::renderThrough(
            unit, {{input[0].begin(), input[0].begin() + 29700}, {input[1].begin(), input[1].begin() + 29700}}, 500);
        EXPECT_EQ(unit.spectrumStatus().fftRuns, 0u);
        unit.setSpectrumWanted(true);
        test::renderThrough(
            unit, {{input[0].begin() + 29700, input[0].end()}, {input[1].begin() + 29700, input[1].end()}}, 300);
        EXPECT_EQ(unit.spectrumStatus().fftRuns, 1u);
        EXPECT_EQ(unit.spectrumStatus().samplesFed, 30000u);

        std::vector<float> mean(SpectrumAnalyser::frameLength);
        for (size_t i = 0; i < mean.size(); ++i) {
            const size_t at = input[0].size() - mean.size() + i;
            mean[i] = (input[0][at] + input[1][at]) * 0.5f;
        }
        SpectrumAnalyser reference;
        reference.configure(thirdOctaves.data(), 31);
        ASSERT_TRUE(reference.allocate(48000));
        reference.feed(mean.data(), uint32_t(mean.size()));
        std::vector<float> expected(31);
        reference.read(expected.data(), 31);
        EXPECT_EQ(spectrum(unit), expected);
    }
}

TEST(UtilitySpectrum, SineOfAmplitudeOneTenthReadsOneTenth)
{
    QRUtilityUnit unit;
    unit.configureSpectrum(thirdOctaves.data(), 31);
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    const auto tone = test::sine(1000, 0.1, 48000, 8192);
    test::renderThrough(unit, {tone, tone}, 441);
    const std::vector<float> values = spectrum(unit);
    ASSERT_EQ(values.size(), 31u);
    EXPECT_NEAR(values[band1k], 0.1f, 0.001f);
    EXPECT_LT(values[band1k - 3], 0.001f);
    EXPECT_LT(values[band1k + 3], 0.001f);
    EXPECT_EQ(unit.spectrumStatus().fftRuns, 8u);
}

TEST(UtilitySpectrum, StereoAndMonoOfTheSameSineReadTheSame)
{
    const auto tone = test::sine(1000, 0.25, 48000, 4096);
    QRUtilityUnit stereo, mono;
    stereo.configureSpectrum(thirdOctaves.data(), 31);
    mono.configureSpectrum(thirdOctaves.data(), 31);
    ASSERT_TRUE(test::prepareUnit(stereo, 48000, 2));
    ASSERT_TRUE(test::prepareUnit(mono, 48000, 1));
    test::renderThrough(stereo, {tone, tone});
    test::renderThrough(mono, {tone});
    EXPECT_EQ(spectrum(stereo), spectrum(mono));
    EXPECT_NEAR(spectrum(mono)[band1k], 0.25f, 0.002f);
}

TEST(UtilitySpectrum, TheAnalyserSeesTheInputBeforeGainAndDelay)
{
    QRUtilityUnit unit;
    unit.configureSpectrum(thirdOctaves.data(), 31);
    unit.setGain(0);
    unit.configureDelay(1000, 0);
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 1));
    const auto tone = test::sine(1000, 0.1, 48000, 4096);
    test::renderThrough(unit, {tone});
    EXPECT_NEAR(spectrum(unit)[band1k], 0.1f, 0.001f);
}

TEST(UtilitySpectrum, ResetClearsValuesAndKeepsTheBands)
{
    QRUtilityUnit unit;
    unit.configureSpectrum(thirdOctaves.data(), 31);
    ASSERT_TRUE(test::prepareUnit(unit, 44100, 2));
    const auto tone = test::sine(1000, 0.5, 44100, 4096);
    test::renderThrough(unit, {tone, tone});
    unit.reset();
    EXPECT_EQ(spectrum(unit), std::vector<float>(31, 0.0f));
    const QRSpectrumStatus status = unit.spectrumStatus();
    EXPECT_TRUE(status.ready);
    EXPECT_EQ(status.bandCount, 31u);
    EXPECT_EQ(status.samplesFed, 4096u);
    // The first values after a reset come 1024 frames on, with the cleared ring in front.
    test::renderThrough(unit, {std::vector<float>(1023, 0.0f), std::vector<float>(1023, 0.0f)});
    EXPECT_EQ(unit.spectrumStatus().fftRuns, status.fftRuns);
    test::renderThrough(unit, {tone, tone}, 1);
    EXPECT_EQ(unit.spectrumStatus().fftRuns, status.fftRuns + 4);
}

TEST(UtilitySpectrum, KeepsAtMostSixtyFourBands)
{
    std::vector<float> centres(70, 1000.0f);
    QRUtilityUnit unit;
    unit.configureSpectrum(centres.data(), 70);
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    std::vector<float> out(100);
    EXPECT_EQ(unit.readSpectrum(out.data(), 100), 64u);
    EXPECT_EQ(unit.readSpectrum(out.data(), 5), 5u);
    EXPECT_EQ(unit.readSpectrum(nullptr, 100), 0u);
}

}  // namespace
}  // namespace quorel
