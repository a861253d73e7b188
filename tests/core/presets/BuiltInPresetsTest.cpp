#include "BuiltInPresets.h"

#include "L10n.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace quorel;

namespace {

std::vector<float> bandsOf(const char* id) { return BuiltInPresets::preset(id).value().bands; }

}  // namespace

TEST(BuiltInPresets, TwentyTwoRowsInFourCategories)
{
    const auto& all = BuiltInPresets::all();
    ASSERT_EQ(all.size(), 22u);
    std::map<PresetCategory, int> counts;
    std::set<QString> ids;
    for (const SoundPreset& preset : all) {
        ++counts[preset.category];
        ids.insert(preset.id);
        EXPECT_TRUE(preset.id.startsWith(QStringLiteral("builtin."))) << preset.id.toStdString();
        EXPECT_TRUE(preset.isBuiltIn());
        EXPECT_EQ(preset.bands.size(), 31u);
        for (float gain : preset.bands) EXPECT_EQ(gain, std::round(gain));
    }
    EXPECT_EQ(ids.size(), 22u);
    EXPECT_EQ(counts[PresetCategory::use], 7);
    EXPECT_EQ(counts[PresetCategory::music], 7);
    EXPECT_EQ(counts[PresetCategory::device], 2);
    EXPECT_EQ(counts[PresetCategory::tone], 6);
    EXPECT_EQ(counts[PresetCategory::custom], 0);
    for (const QString& id : BuiltInPresets::featuredIDs()) EXPECT_TRUE(BuiltInPresets::preset(id)) << id.toStdString();
}

TEST(BuiltInPresets, NeutralIsTheDefaultSettings)
{
    const SoundPreset& neutral = BuiltInPresets::neutral();
    EXPECT_EQ(neutral.id, QStringLiteral("builtin.neutral"));
    EXPECT_EQ(neutral.bands, std::vector<float>(31, 0));
    EXPECT_EQ(neutral.applied(DSPSettings()), DSPSettings());
    EXPECT_TRUE(neutral.matches(DSPSettings()));
}

TEST(BuiltInPresets, LookupIsExact)
{
    EXPECT_TRUE(BuiltInPresets::preset(QStringLiteral("builtin.neutral")));
    EXPECT_FALSE(BuiltInPresets::preset(QStringLiteral("BUILTIN.NEUTRAL")));
    EXPECT_FALSE(BuiltInPresets::preset(QString()));
}

TEST(BuiltInPresets, ToneCurves)
{
    const std::vector<float> bassBoost = bandsOf("builtin.bass-boost");
    const std::vector<float> bassCut = bandsOf("builtin.bass-cut");
    const std::vector<float> boostLow{5, 5, 6, 6, 6, 6, 5, 4, 3, 2, 1};
    const std::vector<float> cutLow{-8, -8, -8, -8, -7, -6, -5, -4, -3, -2, -1};
    EXPECT_EQ(std::vector<float>(bassBoost.begin(), bassBoost.begin() + 11), boostLow);
    EXPECT_EQ(std::vector<float>(bassCut.begin(), bassCut.begin() + 11), cutLow);
    EXPECT_EQ(std::vector<float>(bassBoost.begin() + 11, bassBoost.end()), std::vector<float>(20, 0));
    EXPECT_EQ(std::vector<float>(bassCut.begin() + 11, bassCut.end()), std::vector<float>(20, 0));

    const std::vector<float> trebleBoost = bandsOf("builtin.treble-boost");
    EXPECT_EQ(std::vector<float>(trebleBoost.begin(), trebleBoost.begin() + 19), std::vector<float>(19, 0));
    EXPECT_EQ(std::vector<float>(trebleBoost.begin() + 19, trebleBoost.end()),
              (std::vector<float>{1, 1, 1, 2, 3, 3, 3, 4, 4, 4, 4, 3}));

    EXPECT_EQ(bandsOf("builtin.movies")[22], 3);  // 3150 Hz: its 2.5 dB point
    EXPECT_EQ(bandsOf("builtin.movies")[28], 2);  // 12.5 kHz: 1.5 dB
}

// These bands land exactly on a half in 32-bit floats and round away from zero; in double
// precision they fall just inside and round the other way.
TEST(BuiltInPresets, HalvesOfThirtyTwoBitInterpolation)
{
    EXPECT_EQ(bandsOf("builtin.loudness-curve")[27], 3);  // 10 kHz
    EXPECT_EQ(bandsOf("builtin.treble-cut")[27], -5);
    EXPECT_EQ(bandsOf("builtin.video-call")[27], -3);
    EXPECT_EQ(bandsOf("builtin.max-volume")[27], -1);
    EXPECT_EQ(bandsOf("builtin.movies-night")[27], -1);
    EXPECT_EQ(bandsOf("builtin.rock")[10], -1);  // 200 Hz
}

TEST(BuiltInPresets, OnlyMaxVolumeHasItsOwnLimiterAndDrive)
{
    for (const SoundPreset& preset : BuiltInPresets::all()) {
        if (preset.id == QStringLiteral("builtin.max-volume")) {
            EXPECT_EQ(preset.limiterReleaseMS, 20);
            EXPECT_EQ(preset.limiterCeilingDB, -0.3f);
            EXPECT_EQ(preset.driveAmount, 0.6f);
        } else {
            EXPECT_EQ(preset.limiterReleaseMS, 80) << preset.id.toStdString();
            EXPECT_EQ(preset.limiterCeilingDB, -1);
            EXPECT_EQ(preset.driveAmount, 0);
        }
    }
}

TEST(BuiltInPresets, EveryRowHasItsTextsInBothLanguages)
{
    const test::TemporaryHome home;
    for (const SoundPreset& preset : BuiltInPresets::all()) {
        for (const char* suffix : {".name", ".summary"}) {
            const QString key = preset.id + QLatin1String(suffix);
            const QString english = L10n::render(key, {}, AppLanguage::english);
            const QString portuguese = L10n::render(key, {}, AppLanguage::portuguese);
            EXPECT_NE(english, key) << key.toStdString();
            EXPECT_NE(portuguese, key) << key.toStdString();
        }
        EXPECT_EQ(preset.localizedName(AppLanguage::portuguese), preset.name) << preset.id.toStdString();
    }
}
