#include "DSPSettings.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorel;

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
const float notANumber = std::numeric_limits<float>::quiet_NaN();

DSPSettings decode(const char* json) { return DSPSettings::fromJsonText(QByteArray(json)); }

HeadphoneProfile profileWithFilters(int count)
{
    HeadphoneProfile profile;
    profile.id = "import.X";
    profile.name = "Model";
    for (int i = 0; i < count; ++i)
        profile.filters.push_back({HeadphoneFilter::Kind::peak, 100.0f * float(i + 1), 30, 1});
    return profile;
}

QByteArray encodeText(const DSPSettings& settings)
{
    return QJsonDocument(settings.toJson()).toJson(QJsonDocument::Compact);
}

}  // namespace

TEST(DSPSettings, DefaultsAreAlreadySanitized)
{
    const DSPSettings defaults;
    EXPECT_EQ(defaults, defaults.sanitized());
    EXPECT_EQ(decode("{}"), defaults);
    EXPECT_EQ(decode("{}").bands.size(), 31u);
    EXPECT_EQ(decode("{}").limiterCeilingDB, -1);
    EXPECT_EQ(decode("{}").limiterReleaseMS, 80);
}

TEST(DSPSettings, TenBandLayoutLandsOnOctaveCentres)
{
    const DSPSettings s = decode(R"({"bands":[1,2,3,4,5,6,7,8,9,10]})");
    ASSERT_EQ(s.bands.size(), 31u);
    for (size_t i = 0; i < 31; ++i) {
        const auto* k = std::find(DSPSettings::octaveBandIndices.begin(), DSPSettings::octaveBandIndices.end(), int(i));
        const float expected =
            k == DSPSettings::octaveBandIndices.end() ? 0.0f : float(k - DSPSettings::octaveBandIndices.begin() + 1);
        EXPECT_EQ(s.bands[i], expected) << i;
    }
    EXPECT_EQ(s.bands[2], 1);
    EXPECT_EQ(s.bands[29], 10);
}

TEST(DSPSettings, OtherBandCountsDecodeToZerosButSanitizePadOrTrim)
{
    QJsonArray thirty, thirtyTwo;
    for (int i = 0; i < 30; ++i) thirty.append(1);
    for (int i = 0; i < 32; ++i) thirtyTwo.append(1);
    EXPECT_EQ(DSPSettings::fromJson({{"bands", thirty}}).bands, std::vector<float>(31, 0.0f));
    EXPECT_EQ(DSPSettings::fromJson({{"bands", thirtyTwo}}).bands, std::vector<float>(31, 0.0f));
    EXPECT_EQ(decode(R"({"bands":null})").bands, std::vector<float>(31, 0.0f));

    DSPSettings s;
    s.bands.assign(30, 1.0f);
    std::vector<float> padded(31, 1.0f);
    padded[30] = 0;
    EXPECT_EQ(s.sanitized().bands, padded);
    s.bands.assign(32, 1.0f);
    EXPECT_EQ(s.sanitized().bands, std::vector<float>(31, 1.0f));
}

TEST(DSPSettings, SanitizeReplacesAndClamps)
{
    DSPSettings s;
    s.highPassHz = 90;
    s.limiterCeilingDB = infinity;
    s.limiterReleaseMS = notANumber;
    s.bands[0] = 20;
    s.bands[1] = notANumber;
    s.bands[2] = -infinity;
    s.boostDB = 13;
    s.loudness = -1;
    s.comparisonTrimDB = -30;
    s.driveAmount = notANumber;
    s.bassHarmonics = 2;
    s.levelerStrength = infinity;
    const DSPSettings c = s.sanitized();
    EXPECT_EQ(c.highPassHz, 0);
    EXPECT_EQ(c.limiterCeilingDB, -1);
    EXPECT_EQ(c.limiterReleaseMS, 80);
    EXPECT_EQ(c.bands[0], 12);
    EXPECT_EQ(c.bands[1], 0);
    EXPECT_EQ(c.bands[2], 0);
    EXPECT_EQ(c.boostDB, 12);
    EXPECT_EQ(c.loudness, 0);
    EXPECT_EQ(c.comparisonTrimDB, -18);
    EXPECT_EQ(c.driveAmount, 0);
    EXPECT_EQ(c.bassHarmonics, 1);
    EXPECT_EQ(c.levelerStrength, 0);

    s = DSPSettings();
    s.highPassHz = 80;
    s.limiterCeilingDB = 5;
    s.limiterReleaseMS = 1000;
    EXPECT_EQ(s.sanitized().highPassHz, 80);
    EXPECT_EQ(s.sanitized().limiterCeilingDB, -0.1f);
    EXPECT_EQ(s.sanitized().limiterReleaseMS, 300);
}

TEST(DSPSettings, ProfileWithoutFiltersIsDroppedOthersSanitized)
{
    DSPSettings s;
    s.headphoneProfile = profileWithFilters(0);
    EXPECT_FALSE(s.sanitized().headphoneProfile.has_value());
    s.headphoneProfile = profileWithFilters(2);
    ASSERT_TRUE(s.sanitized().headphoneProfile.has_value());
    EXPECT_EQ(*s.sanitized().headphoneProfile, s.headphoneProfile->sanitized());
    EXPECT_EQ(s.sanitized().headphoneProfile->filters[0].gainDB, 20);
}

TEST(DSPSettings, NaNMakesRecordsUnequal)
{
    DSPSettings s;
    s.bands[4] = notANumber;
    EXPECT_FALSE(s == s);
}

TEST(DSPSettings, DecodeRejectsWrongTypesAndNumbersBeyondFloat)
{
    for (const char* json :
         {R"({"boostDB":"3"})", R"({"loudness":true})", R"({"bands":5})", R"({"bands":[1,"2",3,4,5,6,7,8,9,10]})",
          R"({"limiterReleaseMS":1e39})", R"({"bands":[1,2,3,4,5,6,7,8,9,-1e39]})", R"({"driveAmount":{}})", "[]", "",
          "{\"boostDB\":1e400}", "not json"})
        EXPECT_THROW(decode(json), std::runtime_error) << json;
    EXPECT_EQ(decode(R"({"boostDB":3.4028234e38})").boostDB, std::numeric_limits<float>::max());
    EXPECT_EQ(decode(R"({"boostDB":1e-50})").boostDB, 0);
}

// Null stands for an absent key where a key may be missing; inside the band array, or where a
// filter needs its number, it is a value of the wrong type.
TEST(DSPSettings, NullIsAbsentForAKeyButNotANumberInTheBands)
{
    QJsonArray bands;
    for (int i = 0; i < DSPSettings::bandCount; ++i) bands.append(i == 4 ? QJsonValue() : QJsonValue(1));
    EXPECT_THROW(DSPSettings::fromJson({{"boostDB", 6}, {"bands", bands}}), std::runtime_error);
    EXPECT_THROW(decode(R"({"bands":[1,2,3,4,5,6,7,8,9,null]})"), std::runtime_error);

    const DSPSettings absent = decode(R"({"boostDB":null,"limiterCeilingDB":null,"limiterReleaseMS":null})");
    EXPECT_EQ(absent, DSPSettings());

    const DSPSettings s = decode(
        R"({"boostDB":4,"headphoneProfile":{"id":"x","name":"y","filters":[{"kind":"peak","frequency":null,"gainDB":1,"q":1}]}})");
    EXPECT_EQ(s.boostDB, 4);
    EXPECT_FALSE(s.headphoneProfile.has_value());
}

TEST(DSPSettings, BadProfileCostsOnlyTheProfile)
{
    const DSPSettings s = decode(
        R"({"boostDB":4,"headphoneProfile":{"id":"x","name":"y","filters":[{"kind":"bandPass","frequency":1,"gainDB":1,"q":1}]}})");
    EXPECT_EQ(s.boostDB, 4);
    EXPECT_FALSE(s.headphoneProfile.has_value());
    EXPECT_FALSE(decode(R"({"headphoneProfile":"text"})").headphoneProfile.has_value());
}

TEST(DSPSettings, JsonRoundTripIsExactUnderAnyProcessLocale)
{
    DSPSettings s;
    s.boostDB = 0.1f;
    s.loudness = 1.0f / 3.0f;
    s.highPassHz = 120;
    s.comparisonTrimDB = -2.75f;
    s.limiterCeilingDB = -0.1f;
    s.limiterReleaseMS = 123.456f;
    s.driveAmount = std::numeric_limits<float>::denorm_min();
    s.bassHarmonics = std::nextafter(1.0f, 0.0f);
    s.levelerStrength = 0.7f;
    for (int i = 0; i < 31; ++i) s.bands[size_t(i)] = float(i) * 0.37f - 5.1f;
    s.headphoneProfile = profileWithFilters(3);
    s.headphoneProfile->preampDB = -6.3f;

    const QByteArray reference = encodeText(s);
    for (const char* name : {"pt_BR.UTF-8", "de_DE.UTF-8"}) {
        test::ProcessLocale locale(name);
        ASSERT_TRUE(locale.active()) << name << " is not installed (scripts/install-deps makes it)";
        const QByteArray text = encodeText(s);
        EXPECT_EQ(text, reference) << name;
        EXPECT_EQ(DSPSettings::fromJsonText(text), s) << name;
        EXPECT_EQ(decode(R"({"comparisonTrimDB":-2.5})").comparisonTrimDB, -2.5f) << name;
    }
    EXPECT_EQ(DSPSettings::fromJsonText(reference), s);
}

// JSON writes a value that is not finite as null; in a key that may be missing it reads back as
// absent, which gives the value sanitizing would.
TEST(DSPSettings, NonFiniteValuesComeBackAsTheirSanitizedReplacements)
{
    DSPSettings s;
    s.boostDB = notANumber;
    s.limiterCeilingDB = infinity;
    s.limiterReleaseMS = -infinity;
    s.headphoneProfile = profileWithFilters(1);
    s.headphoneProfile->preampDB = notANumber;
    const DSPSettings back = DSPSettings::fromJsonText(encodeText(s));
    EXPECT_EQ(back.sanitized(), s.sanitized());
    EXPECT_EQ(back.sanitized().limiterReleaseMS, 80);
    ASSERT_TRUE(back.sanitized().headphoneProfile.has_value());
    EXPECT_EQ(back.sanitized().headphoneProfile->preampDB, 0);
}

TEST(DSPSettings, Decibels)
{
    EXPECT_EQ(DSPSettings::decibels(0), -120);
    EXPECT_EQ(DSPSettings::decibels(-1), -120);
    EXPECT_EQ(DSPSettings::decibels(1), 0);
    EXPECT_EQ(DSPSettings::decibels(0.000000001f), -120);
    EXPECT_EQ(DSPSettings::decibels(notANumber), -120);
    EXPECT_EQ(DSPSettings::decibels(infinity), -120);
    EXPECT_NEAR(DSPSettings::decibels(0.5f), -6.0206f, 1e-4);
    EXPECT_NEAR(DSPSettings::linearGain(-6.0206f), 0.5f, 1e-5);
}

TEST(DSPSettings, BandIndexNearestOnALogScale)
{
    EXPECT_EQ(DSPSettings::bandIndex(1000), 17);
    EXPECT_EQ(DSPSettings::bandIndex(0), 0);
    EXPECT_EQ(DSPSettings::bandIndex(-5), 0);
    EXPECT_EQ(DSPSettings::bandIndex(notANumber), 0);
    EXPECT_EQ(DSPSettings::bandIndex(30000), 30);
    EXPECT_EQ(DSPSettings::bandIndex(1110), 17);  // nearer 1000 than 1250 on a log scale
    EXPECT_EQ(DSPSettings::bandIndex(1130), 18);
}

TEST(DSPSettings, CompressorSettingsFromLoudness)
{
    const auto expect = [](float x, float threshold, float headroom, float makeup) {
        const DSPSettings::CompressorSettings c = DSPSettings::compressorSettings(x);
        EXPECT_NEAR(c.threshold, threshold, 1e-5) << x;
        EXPECT_NEAR(c.headroom, headroom, 1e-5) << x;
        EXPECT_NEAR(c.makeupDB, makeup, 1e-5) << x;
    };
    expect(0.1f, -3, 5, 0);
    expect(0.5f, -15, 17, 3.85f);
    expect(1, -30, 32, 9.1f);
    expect(7, -30, 32, 9.1f);
    expect(0, 0, 40, 0);
    expect(-1, 0, 40, 0);
    expect(notANumber, 0, 40, 0);
    expect(infinity, 0, 40, 0);
}

TEST(DSPSettings, ConstantTables)
{
    EXPECT_EQ(DSPSettings::bandwidthOctaves, 0.33333334f);
    for (size_t k = 0; k < DSPSettings::octaveBandIndices.size(); ++k)  // octave centres 31.5 Hz ... 16 kHz
        EXPECT_NEAR(DSPSettings::frequencies[size_t(DSPSettings::octaveBandIndices[k])],
                    31.25 * std::pow(2.0, double(k)), 0.02 * 31.25 * std::pow(2.0, double(k)));
    EXPECT_STREQ(DSPSettings::frequencyLabels[2], "31");
    EXPECT_STREQ(DSPSettings::frequencyLabels[18], "1.2k");
    EXPECT_STREQ(DSPSettings::frequencyLabels[22], "3.1k");
    EXPECT_STREQ(DSPSettings::frequencyLabels[28], "12k");
}

TEST(DSPSettings, JsonKeysAreTheFieldNames)
{
    const DSPSettings s = decode(R"({"boostDB":1,"loudness":0.2,"highPassHz":100,"comparisonTrimDB":-3,
        "limiterCeilingDB":-2,"limiterReleaseMS":50,"driveAmount":0.4,"bassHarmonics":0.5,"levelerStrength":0.6,
        "headphoneProfile":{"id":"autoeq.a","name":"A B","filters":[{"kind":"peak","frequency":100,"gainDB":-2,"q":1}]}})");
    EXPECT_EQ(s.boostDB, 1);
    EXPECT_EQ(s.loudness, 0.2f);
    EXPECT_EQ(s.highPassHz, 100);
    EXPECT_EQ(s.comparisonTrimDB, -3);
    EXPECT_EQ(s.limiterCeilingDB, -2);
    EXPECT_EQ(s.limiterReleaseMS, 50);
    EXPECT_EQ(s.driveAmount, 0.4f);
    EXPECT_EQ(s.bassHarmonics, 0.5f);
    EXPECT_EQ(s.levelerStrength, 0.6f);
    ASSERT_TRUE(s.headphoneProfile.has_value());
    EXPECT_EQ(s.headphoneProfile->brand, "A");

    EXPECT_EQ(s.toJson().keys(),
              (QStringList{"bands", "bassHarmonics", "boostDB", "comparisonTrimDB", "driveAmount", "headphoneProfile",
                           "highPassHz", "levelerStrength", "limiterCeilingDB", "limiterReleaseMS", "loudness"}));
    EXPECT_FALSE(DSPSettings().toJson().contains("headphoneProfile"));
}
