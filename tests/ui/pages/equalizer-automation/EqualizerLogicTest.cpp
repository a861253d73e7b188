// The arithmetic behind the Equalizer page: the response curve against the equalizer unit,
// the spectrum's smoothing, the drawing geometry, fader labels and limits, limiter texts.
#include "AudioGraph.h"
#include "DetailPanels.h"
#include "DSPSettings.h"
#include "EqualizerPanel.h"
#include "EqualizerResponse.h"
#include "EqualizerSpectrum.h"
#include "ParametricEqualizer.h"
#include "SpectrumModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorel;

namespace {

std::vector<float> only(int band, float gain)
{
    std::vector<float> bands(31, 0.0f);
    bands[size_t(band)] = gain;
    return bands;
}

// The unit as the processing graph sets up its 31 bands at `rate`.
void setUpAsTheGraph(ParametricEqualizer& eq, const std::vector<float>& gains, double rate)
{
    for (uint32_t i = 0; i < 31; ++i) {
        const float fi = DSPSettings::frequencies[i];
        eq.setType(i, ParametricEqualizer::Type::parametric);
        eq.setFrequency(i, std::min(float(0.45 * rate), fi));
        eq.setBandwidth(i, DSPSettings::bandwidthOctaves);
        eq.setGain(i, gains[i]);
        eq.setBypass(i, fi >= 0.5 * rate);
    }
}

double pointFrequency(double position)
{
    return std::exp(std::log(20.0) + position * (std::log(20000.0) - std::log(20.0)));
}

}  // namespace

TEST(EqualizerResponse, FlatGainsGiveAFlatLineAtEvenPositions)
{
    const auto points = EqualizerResponse::curve(std::vector<float>(31, 0.0f), 48000, 128);
    ASSERT_EQ(points.size(), 128u);
    for (size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(points[k].gainDB, 0.0f);
        EXPECT_DOUBLE_EQ(points[k].position, double(k) / 127);
    }
}

TEST(EqualizerResponse, TheNumbersOfTheFirstLastAndMiddleBands)
{
    auto low = EqualizerResponse::curve(only(0, 6), 48000, 128);
    EXPECT_NEAR(low[0].gainDB, 6.0, 1e-4);
    EXPECT_NEAR(low[1].gainDB, 4.87, 0.01);
    auto high = EqualizerResponse::curve(only(30, -6), 48000, 128);
    EXPECT_NEAR(high.back().gainDB, -6.0, 1e-4);
    EXPECT_DOUBLE_EQ(high.back().position, 1.0);
    for (const auto& point : EqualizerResponse::curve(only(30, -6), 32000, 128)) EXPECT_EQ(point.gainDB, 0.0f);

    auto mid = EqualizerResponse::curve(only(17, 12), 48000, 128);
    size_t peak = 0;
    for (size_t k = 0; k < mid.size(); ++k)
        if (mid[k].gainDB > mid[peak].gainDB) peak = k;
    EXPECT_EQ(peak, 72u);
    EXPECT_NEAR(mid[peak].gainDB, 11.98, 0.01);
    EXPECT_LT(mid[peak].gainDB, 12.0f);
}

TEST(EqualizerResponse, ShortAndLongListsAndOddCounts)
{
    std::vector<float> shortList{6};
    EXPECT_NEAR(EqualizerResponse::curve(shortList, 48000, 128)[0].gainDB, 6.0, 1e-4);
    std::vector<float> longList = only(0, 6);
    longList.push_back(12);  // a 32nd gain counts for nothing
    const auto a = EqualizerResponse::curve(longList, 48000, 128);
    const auto b = EqualizerResponse::curve(only(0, 6), 48000, 128);
    for (size_t k = 0; k < a.size(); ++k) EXPECT_EQ(a[k].gainDB, b[k].gainDB);
    EXPECT_TRUE(EqualizerResponse::curve(only(0, 6), 48000, 0).empty());
    EXPECT_TRUE(EqualizerResponse::curve(only(0, 6), 48000, -3).empty());
    const auto one = EqualizerResponse::curve(only(0, 6), 48000, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].position, 0.0);
    EXPECT_NEAR(one[0].gainDB, 6.0, 1e-4);
}

// What is drawn is what is heard: the curve against the unit set up as the graph sets it up.
TEST(EqualizerResponse, MatchesTheEqualizerUnitOfTheGraph)
{
    std::vector<float> gains(31);
    for (int i = 0; i < 31; ++i) gains[size_t(i)] = float((i * 7) % 25 - 12);
    for (double rate : {48000.0, 96000.0}) {
        ParametricEqualizer eq(31);
        setUpAsTheGraph(eq, gains, rate);
        for (const auto& point : EqualizerResponse::curve(gains, rate, 128))
            EXPECT_NEAR(point.gainDB, eq.magnitudeDB(rate, pointFrequency(point.position)), 0.01)
                << "rate " << rate << " at " << pointFrequency(point.position) << " Hz";
    }
    // At 44.1 kHz the graph moves the 20 kHz band down to 0.45 fs: the two part there.
    const double rate = 44100;
    ParametricEqualizer eq(31);
    setUpAsTheGraph(eq, gains, rate);
    double largest = 0;
    for (const auto& point : EqualizerResponse::curve(gains, rate, 128)) {
        const double f = pointFrequency(point.position);
        const double apart = std::abs(point.gainDB - eq.magnitudeDB(rate, f));
        if (f < 5000) {
            EXPECT_NEAR(apart, 0, 0.01) << f;
        }
        largest = std::max(largest, apart);
    }
    EXPECT_LT(largest, 0.2);
}

TEST(SpectrumModel, SmoothingFloorsRisesAtOnceAndFallsByOnePointThree)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const auto first = SpectrumModel::smooth(std::vector<float>(6, -120), {0.0f, -0.5f, inf, nan, 1e-9f, 0.1f});
    ASSERT_EQ(first.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(first[size_t(i)], -120.0f) << i;
    EXPECT_NEAR(first[5], -20.0, 1e-4);

    const auto fall = SpectrumModel::smooth({-20, -20}, {float(std::pow(10.0, -21 / 20.0)), 0.01f});
    EXPECT_NEAR(fall[0], -21.0, 1e-4);  // 1 dB lower: shown as it is
    EXPECT_NEAR(fall[1], -21.3, 1e-4);  // 20 dB lower: 1.3 dB per tick
    const auto rise = SpectrumModel::smooth({-60}, {1.0f});
    EXPECT_NEAR(rise[0], 0.0, 1e-6);
    EXPECT_EQ(SpectrumModel::smooth(std::vector<float>(31, -120), {0.5f, 0.5f}).size(), 2u);
}

TEST(EqualizerSpectrumGeometry, ColumnsBarsAndCurveMapping)
{
    EqualizerSpectrum::Geometry g{60 + 31 * 20, 100, 5};
    EXPECT_DOUBLE_EQ(g.column(), 20);
    EXPECT_DOUBLE_EQ(g.pitch(), 22);
    EXPECT_DOUBLE_EQ(g.centre(0), 10);
    EXPECT_DOUBLE_EQ(g.centre(30), 670);
    EXPECT_DOUBLE_EQ(g.barWidth(), 11);
    EXPECT_FALSE(g.bar(0, -60).has_value());
    EXPECT_FALSE(g.bar(0, -120).has_value());
    EXPECT_FALSE(g.bar(0, -59.7f).has_value());  // 0.45 pt tall
    const auto full = g.bar(3, 0);
    ASSERT_TRUE(full.has_value());
    EXPECT_DOUBLE_EQ(full->height(), 90);
    EXPECT_DOUBLE_EQ(full->top(), 5);
    EXPECT_DOUBLE_EQ(full->center().x(), g.centre(3));
    EXPECT_DOUBLE_EQ(g.bar(3, 6)->height(), 90);
    EXPECT_NEAR(g.bar(3, -20)->height(), 60, 1e-9);  // a sine of 0.1: two thirds of the travel

    EXPECT_DOUBLE_EQ(g.curvePoint({0, 0}).y(), 50);
    EXPECT_DOUBLE_EQ(g.curvePoint({0, 0}).x(), 10);
    EXPECT_DOUBLE_EQ(g.curvePoint({1, 0}).x(), 670);
    EXPECT_DOUBLE_EQ(g.curvePoint({0, 12}).y(), 5);
    EXPECT_DOUBLE_EQ(g.curvePoint({0, 30}).y(), 5);
    EXPECT_DOUBLE_EQ(g.curvePoint({0, -12}).y(), 95);
    EXPECT_DOUBLE_EQ(g.curvePoint({0, -40}).y(), 95);

    EXPECT_TRUE(g.drawable());
    EXPECT_FALSE((EqualizerSpectrum::Geometry{59.5, 100, 5}).drawable());
    // At 60 pt the columns have no width; bars keep their 3 pt.
    EXPECT_DOUBLE_EQ((EqualizerSpectrum::Geometry{60, 100, 5}).barWidth(), 3);
}

TEST(EqualizerPanelText, FaderLabelsOnlyExactZeroIsPlain)
{
    EXPECT_EQ(EqualizerPanel::faderText(0), "0");
    EXPECT_EQ(EqualizerPanel::faderText(-0.0f), "0");
    EXPECT_EQ(EqualizerPanel::faderText(0.3f), "+0");
    EXPECT_EQ(EqualizerPanel::faderText(-0.3f), "-0");
    EXPECT_EQ(EqualizerPanel::faderText(3), "+3");
    EXPECT_EQ(EqualizerPanel::faderText(-12), "-12");
    // As C's printf writes "%+.0f": halves go to the even neighbour.
    EXPECT_EQ(EqualizerPanel::faderText(-2.5f), "-2");
    EXPECT_EQ(EqualizerPanel::faderText(2.5f), "+2");
    EXPECT_EQ(EqualizerPanel::faderText(-3.5f), "-4");
    EXPECT_EQ(EqualizerPanel::faderText(0.5f), "+0");
    EXPECT_EQ(EqualizerPanel::percentText(0.35f), "35%");
    EXPECT_EQ(EqualizerPanel::percentText(0), "0%");
    EXPECT_EQ(EqualizerPanel::percentText(1), "100%");
}

TEST(EqualizerPanelText, FadersAtOrAboveNyquistAreOff)
{
    EXPECT_EQ(EqualizerPanel::nyquist(std::nullopt), 24000.0f);
    EXPECT_EQ(EqualizerPanel::overlayRate(std::nullopt), 48000.0);
    SystemBoostEngine::Info info;
    info.sampleRate = 32000;
    const float limit = EqualizerPanel::nyquist(info);
    EXPECT_EQ(limit, 16000.0f);
    EXPECT_TRUE(EqualizerPanel::faderEnabled(28, limit));   // 12.5k
    EXPECT_FALSE(EqualizerPanel::faderEnabled(29, limit));  // 16k
    EXPECT_FALSE(EqualizerPanel::faderEnabled(30, limit));  // 20k
    info.sampleRate = 44100;
    for (int i = 0; i < 31; ++i) EXPECT_TRUE(EqualizerPanel::faderEnabled(i, EqualizerPanel::nyquist(info)));
    for (int i = 0; i < 31; ++i) EXPECT_TRUE(EqualizerPanel::faderEnabled(i, EqualizerPanel::nyquist(std::nullopt)));
}

TEST(DetailPanelsText, ReleaseAndCeiling)
{
    EXPECT_EQ(DetailPanels::releaseText(75.5f), "75 ms");
    EXPECT_EQ(DetailPanels::releaseText(80), "80 ms");
    EXPECT_EQ(DetailPanels::releaseText(300), "300 ms");
    EXPECT_EQ(DetailPanels::ceilingText(-1, AppLanguage::english), "-1.0 dBFS");
    EXPECT_EQ(DetailPanels::ceilingText(-1, AppLanguage::portuguese), "-1,0 dBFS");
    EXPECT_EQ(DetailPanels::ceilingText(-0.1f, AppLanguage::english), "-0.1 dBFS");
    EXPECT_EQ(DetailPanels::ceilingText(-3, AppLanguage::portuguese), "-3,0 dBFS");
}
