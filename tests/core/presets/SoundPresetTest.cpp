#include "SoundPreset.h"

#include "BuiltInPresets.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorel;

namespace {

std::vector<float> filled(float value) { return std::vector<float>(31, value); }

SoundPreset presetWith(const DSPSettings& settings)
{
    SoundPreset preset = SoundPreset::customNamed(QStringLiteral("x"), settings);
    return preset;
}

SoundPreset decode(const char* json) { return SoundPreset::fromJson(QJsonDocument::fromJson(json).object()); }

}  // namespace

TEST(PresetCurve, NoPointsGivesZerosAndOnePointRoundsAwayFromZero)
{
    EXPECT_EQ(SoundPreset::curve({}), filled(0));
    EXPECT_EQ(SoundPreset::curve({{1000, 2.5f}}), filled(3));
    EXPECT_EQ(SoundPreset::curve({{1000, -2.5f}}), filled(-3));
    EXPECT_EQ(SoundPreset::curve({{1000, 0.49f}}), filled(0));
}

TEST(PresetCurve, PointsAreSortedBeforeInterpolating)
{
    std::vector<float> expected(31, 6);
    for (int i = 0; i <= 7; ++i) expected[size_t(i)] = 0;              // 20 ... 100 Hz
    for (int i = 8; i <= 12; ++i) expected[size_t(i)] = float(i - 7);  // 125 ... 315 Hz
    EXPECT_EQ(SoundPreset::curve({{100, 0}, {400, 6}}), expected);
    EXPECT_EQ(SoundPreset::curve({{400, 6}, {100, 0}}), expected);
}

TEST(PresetCurve, EqualFrequenciesKeepTheirGivenOrder)
{
    // Below 1 kHz the first point of the pair rules, above it the second.
    const std::vector<float> gains = SoundPreset::curve({{1000, -4}, {1000, 4}});
    EXPECT_EQ(gains[0], -4);
    EXPECT_EQ(gains[30], 4);
}

TEST(PresetDecoding, MissingKeysTakeTheirDefaults)
{
    const SoundPreset preset = decode(R"({"id": "x", "name": "y"})");
    EXPECT_EQ(preset.category, PresetCategory::custom);
    EXPECT_EQ(preset.symbol, QStringLiteral("person.crop.square"));
    EXPECT_TRUE(preset.summary.isEmpty());
    EXPECT_TRUE(preset.bands.empty());
    EXPECT_EQ(preset.highPassHz, 0);
    EXPECT_EQ(preset.loudness, 0);
    EXPECT_EQ(preset.limiterReleaseMS, 80);
    EXPECT_EQ(preset.limiterCeilingDB, -1);
    EXPECT_EQ(preset.driveAmount, 0);
    EXPECT_EQ(preset.bassHarmonics, 0);
    EXPECT_EQ(decode(R"({"id": "x", "name": "y", "limiterReleaseMS": null})").limiterReleaseMS, 80);
    EXPECT_TRUE(decode(R"({"id": "x", "name": "y", "bands": null})").bands.empty());
}

TEST(PresetDecoding, WrongShapesFail)
{
    EXPECT_THROW(decode(R"({"name": "y"})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x"})"), std::exception);
    EXPECT_THROW(decode(R"({"id": 3, "name": "y"})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "category": "Music"})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "bands": [1, "2"]})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "bands": 3})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "bands": [1, null, 3]})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "loudness": "0.5"})"), std::exception);
    EXPECT_THROW(decode(R"({"id": "x", "name": "y", "highPassHz": 1e300})"), std::exception);
}

TEST(PresetCoding, EveryFieldRoundTrips)
{
    SoundPreset preset = BuiltInPresets::preset("builtin.max-volume").value();
    preset.bands.push_back(0.1f);  // 32 bands, a value without an exact decimal form
    const QByteArray json = QJsonDocument(preset.toJson()).toJson();
    EXPECT_EQ(SoundPreset::fromJson(QJsonDocument::fromJson(json).object()), preset);
}

TEST(PresetMatching, StrictBoundsPerField)
{
    const test::TemporaryHome home;
    DSPSettings settings;
    settings.loudness = 0.4f;
    const SoundPreset preset = presetWith(settings);

    settings.loudness = 0.4005f;
    EXPECT_TRUE(preset.matches(settings));
    settings.loudness = 0.402f;
    EXPECT_FALSE(preset.matches(settings));
    settings.loudness = 0.4f;

    settings.limiterReleaseMS = 80.4f;
    EXPECT_TRUE(preset.matches(settings));
    settings.limiterReleaseMS = 80.5f;
    EXPECT_FALSE(preset.matches(settings));
    settings.limiterReleaseMS = 80;

    SoundPreset cut = preset;
    cut.highPassHz = 100;
    settings.highPassHz = 80;
    EXPECT_FALSE(cut.matches(settings));
}

TEST(PresetMatching, BoostTrimLevelerAndHeadphonesNeverTakePart)
{
    const SoundPreset neutral = BuiltInPresets::neutral();
    DSPSettings settings;
    settings.boostDB = 9;
    settings.comparisonTrimDB = -3;
    settings.levelerStrength = 1;
    settings.headphoneProfile = HeadphoneProfile{
        "import.A", "A", "A", "over-ear", "import", -3, {HeadphoneFilter{HeadphoneFilter::Kind::peak, 100, 3, 1}}};
    EXPECT_TRUE(neutral.matches(settings));
}

TEST(PresetMatching, WrongBandCountOrNaNNeverMatches)
{
    SoundPreset preset = BuiltInPresets::neutral();
    preset.bands.resize(30);
    EXPECT_FALSE(preset.matches(DSPSettings()));
    preset = BuiltInPresets::neutral();
    preset.loudness = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(preset.matches(DSPSettings()));
}

TEST(PresetApplying, KeepsBoostAndHeadphoneProfile)
{
    DSPSettings settings;
    settings.boostDB = 6;
    settings.headphoneProfile = HeadphoneProfile{
        "import.A", "  A  ", "A", "over-ear", "import", 3, {HeadphoneFilter{HeadphoneFilter::Kind::peak, 100, 3, 1}}};
    const SoundPreset movies = BuiltInPresets::preset("builtin.movies").value();
    const DSPSettings result = movies.applied(settings);
    EXPECT_EQ(result.boostDB, 6);
    ASSERT_TRUE(result.headphoneProfile.has_value());
    EXPECT_EQ(*result.headphoneProfile, settings.headphoneProfile->sanitized());
    EXPECT_EQ(result.bands, movies.bands);
    EXPECT_EQ(result.loudness, 0.4f);
    EXPECT_TRUE(movies.matches(result));
}

TEST(PresetApplying, OutOfRangeValuesAreClampedSoThePresetNeverMatches)
{
    SoundPreset preset = BuiltInPresets::neutral();
    preset.bands = filled(30);
    const DSPSettings result = preset.applied(DSPSettings());
    EXPECT_EQ(result.bands, filled(12));
    EXPECT_FALSE(preset.matches(result));
}

TEST(CustomPreset, KeepsTheNameAsGivenAndGetsAFreshId)
{
    const test::TemporaryHome home;
    const SoundPreset preset = SoundPreset::customNamed(QStringLiteral("  Night "), DSPSettings());
    EXPECT_EQ(preset.name, QStringLiteral("  Night "));
    EXPECT_TRUE(preset.id.startsWith(QStringLiteral("custom.")));
    EXPECT_EQ(preset.id.size(), 7 + 36);
    EXPECT_EQ(preset.id.mid(7), preset.id.mid(7).toUpper());
    EXPECT_EQ(preset.category, PresetCategory::custom);
    EXPECT_EQ(preset.summary, QStringLiteral("Preset saved by you."));
    EXPECT_FALSE(preset.isBuiltIn());
    EXPECT_NE(preset.id, SoundPreset::customNamed(QStringLiteral("x"), DSPSettings()).id);
}

TEST(PresetTexts, FollowTheSavedLanguage)
{
    const test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    const SoundPreset movies = BuiltInPresets::preset("builtin.movies").value();
    SoundPreset custom = SoundPreset::customNamed(QStringLiteral("Mine"), DSPSettings());

    EXPECT_EQ(movies.localizedName(), QStringLiteral("Movies"));
    EXPECT_EQ(custom.localizedSummary(), QStringLiteral("Preset saved by you."));
    custom.summary = QStringLiteral("Preset salvo por você.");
    EXPECT_EQ(custom.localizedSummary(), QStringLiteral("Preset saved by you."));

    store.setString(QStringLiteral("Quorel.Language"), QStringLiteral("pt-BR"));
    EXPECT_EQ(movies.localizedName(), QStringLiteral("Filmes"));
    EXPECT_EQ(custom.localizedName(), QStringLiteral("Mine"));
    EXPECT_EQ(custom.localizedSummary(), QStringLiteral("Preset salvo por você."));
    custom.summary = QStringLiteral("My own words");
    EXPECT_EQ(custom.localizedSummary(), QStringLiteral("My own words"));
    EXPECT_EQ(presetCategory::title(PresetCategory::custom), QStringLiteral("Meus presets"));
}

TEST(PresetTexts, MatchesNameOrID)
{
    const test::TemporaryHome home;
    const SoundPreset movies = BuiltInPresets::preset("builtin.movies").value();
    EXPECT_TRUE(movies.matchesNameOrID(QStringLiteral("builtin.movies")));
    EXPECT_FALSE(movies.matchesNameOrID(QStringLiteral("BUILTIN.MOVIES")));
    EXPECT_TRUE(movies.matchesNameOrID(QStringLiteral("filmes")));
    EXPECT_TRUE(movies.matchesNameOrID(QStringLiteral("MOVIES")));
    EXPECT_FALSE(movies.matchesNameOrID(QStringLiteral(" movies")));
    const SoundPreset night = BuiltInPresets::preset("builtin.movies-night").value();
    EXPECT_TRUE(night.matchesNameOrID(QStringLiteral("FILMES À NOITE")));
    EXPECT_FALSE(night.matchesNameOrID(QStringLiteral("filmes a noite")));
}
