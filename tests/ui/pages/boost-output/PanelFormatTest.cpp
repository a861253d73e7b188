#include "EqualizerPanel.h"
#include "HeadphoneProfile.h"
#include "MenuBarPanel.h"
#include "PanelFormat.h"
#include "TestSupport.h"
#include "SliderGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

using namespace quorel;
namespace F = quorel::PanelFormat;

namespace {
constexpr AppLanguage en = AppLanguage::english;
constexpr AppLanguage pt = AppLanguage::portuguese;
const float notANumber = std::numeric_limits<float>::quiet_NaN();
}  // namespace

TEST(PanelFormat, PrintfIsTheCLibrarysInTheCLocale)
{
    test::ProcessLocale locale("pt_BR.UTF-8");
    ASSERT_TRUE(locale.active()) << "the pt_BR.UTF-8 locale must be installed";
    EXPECT_EQ(F::printf("%+.0f", -2.5), "-2");  // halves to even, as printf rounds
    EXPECT_EQ(F::printf("%+.0f", 3.5), "+4");
    EXPECT_EQ(F::printf("%.1f", 1.25), "1.2");  // a point, whatever the process locale says
    EXPECT_EQ(F::printf("%02d:%02d", 0, 1), "00:01");
}

TEST(PanelFormat, DialAngleRunsFromSevenThirtyOverNoonToFourThirty)
{
    EXPECT_FLOAT_EQ(F::dialAngle(0), -135);
    EXPECT_FLOAT_EQ(F::dialAngle(6), 0);
    EXPECT_FLOAT_EQ(F::dialAngle(12), 135);
    EXPECT_FLOAT_EQ(F::dialAngle(6.5f), 11.25f);
    EXPECT_FLOAT_EQ(F::dialAngle(1), -112.5f);
}

TEST(PanelFormat, LitTicksTruncateThreeTimesTheValue)
{
    EXPECT_EQ(F::litTickLimit(0), 0);      // tick 0 lit at 0 dB too
    EXPECT_EQ(F::litTickLimit(0.3f), 0);   // 0.9 truncates to 0
    EXPECT_EQ(F::litTickLimit(0.34f), 1);  // ticks 0 and 1
    EXPECT_EQ(F::litTickLimit(6), 18);     // ticks 0 to 18
    EXPECT_EQ(F::litTickLimit(12), 36);    // all 37
    EXPECT_EQ(F::litTickLimit(6.5f), 19);
    EXPECT_EQ(F::tickCount, 37);
}

TEST(PanelFormat, TallTicksStandOnlyAtEveryTwoDecibels)
{
    std::vector<int> tall;
    for (int i = 0; i < F::tickCount; ++i)
        if (F::isTallTick(i)) tall.push_back(i);
    EXPECT_EQ(tall, (std::vector<int>{0, 6, 12, 18, 24, 30, 36}));
    EXPECT_FALSE(F::isTallTick(3));   // 1 dB
    EXPECT_FALSE(F::isTallTick(33));  // 11 dB
}

TEST(PanelFormat, DriveShapesStrictlyAboveItsThreshold)
{
    EXPECT_FALSE(F::driveShaping(true, 1, 0.5f));
    EXPECT_TRUE(F::driveShaping(true, 1, std::nextafter(0.5f, 1.0f)));
    EXPECT_FALSE(F::driveShaping(true, 0.5f, 0.75f));
    EXPECT_TRUE(F::driveShaping(true, 0.5f, std::nextafter(0.75f, 1.0f)));
    EXPECT_FALSE(F::driveShaping(false, 1, 0.9f));  // processing off
    EXPECT_FALSE(F::driveShaping(true, 0, 5));      // no Drive
    EXPECT_FALSE(F::driveShaping(true, 1, notANumber));
    EXPECT_FALSE(F::driveShaping(true, notANumber, 0.9f));
}

TEST(PanelFormat, PercentagesRoundHalvesAwayFromZero)
{
    EXPECT_EQ(F::percent(0), 0);
    EXPECT_EQ(F::percent(0.05f), 5);
    EXPECT_EQ(F::percent(0.45f), 45);
    EXPECT_EQ(F::percent(1), 100);
    EXPECT_EQ(F::percent(0.125f), 13);
}

// The Boost cards, the output volume, the bass harmonics, the tray panel and the sliders' spoken
// values all show their percentages through one formatter, so one amount reads the same
// everywhere (they once rounded 0.575 to 58% on one page and 57% on another).
TEST(PanelFormat, EveryPercentageOnScreenReadsTheSame)
{
    const std::pair<float, const char*> cases[] = {{0, "0%"},      {0.575f, "58%"}, {0.285f, "29%"},
                                                   {0.005f, "1%"}, {0.35f, "35%"},  {1, "100%"}};
    for (const auto& [amount, text] : cases) {
        SCOPED_TRACE(amount);
        EXPECT_EQ(F::percentText(amount), text);
        EXPECT_EQ(QString::number(F::percent(amount)) + "%", text);
        EXPECT_EQ(F::volumeText(amount, false, en), text);
        EXPECT_EQ(EqualizerPanel::percentText(amount), text);
        EXPECT_EQ(MenuBarPanel::percentText(amount), text);
        EXPECT_EQ(SliderMath::spokenValue(amount, "%", pt), text);
    }
    EXPECT_EQ(F::percentText(notANumber), "%");
    EXPECT_EQ(F::percentText(std::numeric_limits<float>::infinity()), "%");
}

TEST(PanelFormat, LevelerReadout)
{
    EXPECT_EQ(F::levelerReadout(false, -14, 2, en), "waiting for sound");
    EXPECT_EQ(F::levelerReadout(true, -14.2f, 0, en), "-14 LUFS · +0.0 dB");
    EXPECT_EQ(F::levelerReadout(true, -20, -2.5f, en), "-20 LUFS · -2.5 dB");
    EXPECT_EQ(F::levelerReadout(true, -20, 3.25f, en), "-20 LUFS · +3.2 dB");
    EXPECT_EQ(F::levelerReadout(true, -20, -2.5f, pt), "-20 LUFS · -2,5 dB");
    // Never "-0.0" nor "+-0.0".
    EXPECT_EQ(F::levelerReadout(true, -14, -0.04f, en), "-14 LUFS · +0.0 dB");
    EXPECT_EQ(F::levelerReadout(true, -14, -0.0f, en), "-14 LUFS · +0.0 dB");
    EXPECT_EQ(F::levelerReadout(true, -0.4f, 1, en), "0 LUFS · +1.0 dB");
    // A NaN gain gets no sign.
    EXPECT_FALSE(F::levelerReadout(true, -14, notANumber, en).contains("+"));
}

TEST(PanelFormat, SignedNumberPutsThePlusOnlyBeforeUnsignedText)
{
    EXPECT_EQ(F::signedNumber(0, 1, en), "+0.0");
    EXPECT_EQ(F::signedNumber(6.5f, 1, pt), "+6,5");
    EXPECT_EQ(F::signedNumber(12, 1, en), "+12.0");
    EXPECT_EQ(F::signedNumber(-0.0f, 1, en), "+0.0");
    EXPECT_EQ(F::signedNumber(-0.04f, 1, en), "+0.0");
    EXPECT_EQ(F::signedNumber(-0.06f, 1, en), "-0.1");
    EXPECT_FALSE(F::signedNumber(notANumber, 1, en).startsWith("+"));
}

TEST(PanelFormat, MonitorTextAndSegments)
{
    EXPECT_EQ(F::levelText(-120, en), QString::fromUtf8("\u2212\u221E"));
    EXPECT_EQ(F::levelText(-119, en), QString::fromUtf8("\u2212\u221E"));
    EXPECT_EQ(F::levelText(-118.9f, en), "-118.9");
    EXPECT_EQ(F::levelText(-12.3f, pt), "-12,3");
    EXPECT_EQ(F::levelText(-0.02f, en), "0.0");

    for (int i = 0; i < F::segmentCount; ++i) EXPECT_EQ(F::segmentThreshold(i), -60.0f + 2.5f * float(i)) << i;
    auto lit = [](float level) {
        int count = 0;
        for (int i = 0; i < F::segmentCount; ++i) {
            if (F::segmentLit(level, i)) {
                EXPECT_EQ(i, count) << "segments light from the left";
                ++count;
            }
        }
        return count;
    };
    EXPECT_EQ(lit(-118.9f), 0);
    EXPECT_EQ(lit(-60), 0);  // strictly above the threshold
    EXPECT_EQ(lit(-59.9f), 1);
    EXPECT_EQ(lit(-57.5f), 1);
    EXPECT_EQ(lit(-3), 23);  // segments 0 to 22
    EXPECT_EQ(lit(-2), 24);
    EXPECT_EQ(lit(3), 24);
    EXPECT_EQ(F::segmentCount - F::orangeSegments, 22);
}

TEST(PanelFormat, ShieldWarnsBeyondSixDecibels)
{
    EXPECT_FALSE(F::reductionWarning(0));
    EXPECT_FALSE(F::reductionWarning(-6));
    EXPECT_TRUE(F::reductionWarning(-6.1f));
}

TEST(PanelFormat, DeviceSymbols)
{
    EXPECT_EQ(F::deviceSymbol("AirPods Pro"), "earbuds");
    EXPECT_EQ(F::deviceSymbol("External Headphones"), "headphones");
    EXPECT_EQ(F::deviceSymbol("Fone de ouvido"), "headphones");
    EXPECT_EQ(F::deviceSymbol("MacBook Pro Speakers"), "laptopcomputer");
    EXPECT_EQ(F::deviceSymbol("Built-in Output"), "laptopcomputer");
    EXPECT_EQ(F::deviceSymbol("LG UltraFine Display Audio"), "hifispeaker");
    EXPECT_EQ(F::deviceSymbol("AIRPODS with HEADset"), "earbuds");  // the first rule wins
    EXPECT_EQ(F::deviceSymbol(""), "hifispeaker");
}

TEST(PanelFormat, VolumeTextAndMaximum)
{
    EXPECT_EQ(F::volumeText(0.996f, false, en), "100%");
    EXPECT_EQ(F::volumeText(0.5f, false, en), "50%");
    EXPECT_EQ(F::volumeText(0, false, en), "0%");
    EXPECT_EQ(F::volumeText(0.5f, true, en), "Muted");
    EXPECT_NE(F::volumeText(0.5f, true, pt), "Muted");

    EXPECT_TRUE(F::maximumEnabled(true, 0.996f, false));
    EXPECT_TRUE(F::maximumEnabled(true, 0.998f, false));
    EXPECT_FALSE(F::maximumEnabled(true, 0.999f, false));
    EXPECT_FALSE(F::maximumEnabled(true, 1, false));
    EXPECT_TRUE(F::maximumEnabled(true, 1, true));  // unmutes
    EXPECT_FALSE(F::maximumEnabled(false, 0.3f, false));
    EXPECT_FALSE(F::maximumEnabled(false, 1, true));

    EXPECT_FALSE(F::restartShown(true, true, false));  // hidden while processing runs
    EXPECT_TRUE(F::restartShown(false, true, false));
    EXPECT_TRUE(F::restartShown(false, false, true));
    EXPECT_FALSE(F::restartShown(false, false, false));
}

TEST(PanelFormat, HeadphoneDetailAndPreGainNote)
{
    HeadphoneProfile profile;
    profile.source = "oratory1990";
    profile.filters.push_back({HeadphoneFilter::Kind::peak, 1000, -3, 1});
    EXPECT_EQ(F::headphoneDetail(profile, en), "1 filters · oratory1990");
    profile.filters.clear();
    EXPECT_EQ(F::headphoneDetail(profile, en), "0 filters · oratory1990");
    profile.source = "import";
    EXPECT_EQ(F::headphoneDetail(profile, en), "0 filters · imported");
    EXPECT_NE(F::headphoneDetail(profile, pt), "0 filters · imported");
    EXPECT_TRUE(F::headphoneDetail(profile, pt).startsWith("0 "));

    EXPECT_FALSE(F::showsPreGainNote(0));
    EXPECT_FALSE(F::showsPreGainNote(-0.05f));
    EXPECT_TRUE(F::showsPreGainNote(-0.06f));
}
