#include "DSPSettings.h"

#include "JsonFloat.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorel {

const std::array<float, 31> DSPSettings::frequencies{
    20,  25,   31.5f, 40,   50,   63,   80,   100,  125,  160,  200,  250,   315,   400,   500,  630,
    800, 1000, 1250,  1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

const std::array<const char*, 31> DSPSettings::frequencyLabels{
    "20",  "25", "31",   "40",   "50", "63",   "80",   "100", "125", "160",  "200", "250", "315", "400", "500", "630",
    "800", "1k", "1.2k", "1.6k", "2k", "2.5k", "3.1k", "4k",  "5k",  "6.3k", "8k",  "10k", "12k", "16k", "20k"};

namespace {

constexpr float bandGainLimit = 12;
constexpr float comparisonTrimMin = -18, comparisonTrimMax = 0;

float clampedOr(float value, float fallback, float low, float high)
{
    return std::isfinite(value) ? std::min(std::max(value, low), high) : fallback;
}

// The numeric fields with their JSON keys, in field order.
template <typename Settings, typename Visit>
void forEachNumber(Settings& s, Visit visit)
{
    visit(QStringLiteral("boostDB"), s.boostDB);
    visit(QStringLiteral("loudness"), s.loudness);
    visit(QStringLiteral("highPassHz"), s.highPassHz);
    visit(QStringLiteral("comparisonTrimDB"), s.comparisonTrimDB);
    visit(QStringLiteral("limiterCeilingDB"), s.limiterCeilingDB);
    visit(QStringLiteral("limiterReleaseMS"), s.limiterReleaseMS);
    visit(QStringLiteral("driveAmount"), s.driveAmount);
    visit(QStringLiteral("bassHarmonics"), s.bassHarmonics);
    visit(QStringLiteral("levelerStrength"), s.levelerStrength);
}

std::vector<float> decodeBands(const QJsonValue& value)
{
    std::vector<float> decoded;
    if (value.isUndefined() || value.isNull()) return std::vector<float>(DSPSettings::bandCount, 0.0f);
    if (!value.isArray()) throw std::runtime_error("\"bands\" is not an array");
    for (const QJsonValue& item : value.toArray()) decoded.push_back(jsonFloat::decode(item, QStringLiteral("bands")));

    if (decoded.size() == size_t(DSPSettings::bandCount)) return decoded;
    std::vector<float> bands(DSPSettings::bandCount, 0.0f);
    // The older octave layout: each of its ten bands lands on its own centre among the 31.
    if (decoded.size() == DSPSettings::octaveBandIndices.size()) {
        for (size_t k = 0; k < decoded.size(); ++k) bands[size_t(DSPSettings::octaveBandIndices[k])] = decoded[k];
    }
    return bands;
}

}  // namespace

DSPSettings DSPSettings::sanitized() const
{
    DSPSettings s = *this;
    s.boostDB = clampedOr(boostDB, 0, boostMin, boostMax);
    s.loudness = clampedOr(loudness, 0, 0, 1);
    const bool knownHighPass =
        std::find(highPassOptions.begin(), highPassOptions.end(), highPassHz) != highPassOptions.end();
    s.highPassHz = knownHighPass ? highPassHz : 0.0f;
    s.bands.assign(bandCount, 0.0f);
    for (size_t i = 0; i < s.bands.size() && i < bands.size(); ++i)
        s.bands[i] = clampedOr(bands[i], 0, -bandGainLimit, bandGainLimit);
    s.comparisonTrimDB = clampedOr(comparisonTrimDB, 0, comparisonTrimMin, comparisonTrimMax);
    s.limiterCeilingDB = clampedOr(limiterCeilingDB, -1, limiterCeilingMin, limiterCeilingMax);
    s.limiterReleaseMS = clampedOr(limiterReleaseMS, 80, limiterReleaseMin, limiterReleaseMax);
    s.driveAmount = clampedOr(driveAmount, 0, 0, 1);
    s.bassHarmonics = clampedOr(bassHarmonics, 0, 0, 1);
    s.levelerStrength = clampedOr(levelerStrength, 0, 0, 1);
    if (headphoneProfile) {
        s.headphoneProfile = headphoneProfile->sanitized();
        if (s.headphoneProfile->filters.empty()) s.headphoneProfile.reset();
    }
    return s;
}

QJsonObject DSPSettings::toJson() const
{
    QJsonObject object;
    forEachNumber(*this, [&](const QString& key, float value) { object.insert(key, jsonFloat::encode(value)); });
    QJsonArray bandArray;
    for (float band : bands) bandArray.append(jsonFloat::encode(band));
    object.insert(QStringLiteral("bands"), bandArray);
    if (headphoneProfile) object.insert(QStringLiteral("headphoneProfile"), headphoneProfile->toJson());
    return object;
}

DSPSettings DSPSettings::fromJson(const QJsonObject& object)
{
    DSPSettings s;
    forEachNumber(s, [&](const QString& key, float& field) {
        if (const std::optional<float> value = jsonFloat::decodeOptional(object, key)) field = *value;
    });
    s.bands = decodeBands(object.value(QStringLiteral("bands")));
    const QJsonValue profile = object.value(QStringLiteral("headphoneProfile"));
    if (profile.isObject()) {
        // A profile that cannot be read costs only the profile, never the rest of the record.
        try {
            s.headphoneProfile = HeadphoneProfile::fromJson(profile.toObject());
        } catch (const std::exception&) {
            s.headphoneProfile.reset();
        }
    }
    return s;
}

DSPSettings DSPSettings::fromJsonText(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        throw std::runtime_error("not JSON: " + error.errorString().toStdString());
    if (!document.isObject()) throw std::runtime_error("the settings are not a JSON object");
    return fromJson(document.object());
}

float DSPSettings::decibels(float linear)
{
    if (!(linear > 0) || !std::isfinite(linear)) return -120;
    return std::max(20 * std::log10(linear), -120.0f);
}

float DSPSettings::linearGain(float dB) { return std::pow(10.0f, dB / 20); }

int DSPSettings::bandIndex(float nearestHz)
{
    int best = 0;
    for (int i = 1; i < bandCount; ++i) {
        if (std::fabs(std::log(frequencies[size_t(best)] / nearestHz))
            > std::fabs(std::log(frequencies[size_t(i)] / nearestHz)))
            best = i;
    }
    return best;
}

DSPSettings::CompressorSettings DSPSettings::compressorSettings(float loudness)
{
    if (!std::isfinite(loudness) || loudness <= 0) return {0, 40, 0};
    const float a = std::min(loudness, 1.0f);
    const float makeup = 10.5f * a - 1.4f;
    return {-30 * a, std::min(2 + 30 * a, 40.0f), makeup >= 0 ? makeup : 0.0f};
}

}  // namespace quorel
