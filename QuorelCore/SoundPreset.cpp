#include "SoundPreset.h"

#include "JsonFloat.h"
#include "L10n.h"
#include "UserNames.h"

#include <QJsonArray>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorel {

namespace {

const QString customPrefix = QStringLiteral("custom.");
const QString savedSummaryPortuguese = QStringLiteral("Preset salvo por você.");

[[noreturn]] void wrongType(const char* key)
{
    throw std::runtime_error(std::string("preset key \"") + key + "\" has the wrong type");
}

float optionalFloat(const QJsonObject& object, const char* key, float fallback)
{
    return jsonFloat::decodeOptional(object, QLatin1String(key)).value_or(fallback);
}

QString optionalString(const QJsonObject& object, const char* key, const QString& fallback)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) return fallback;
    if (!value.isString()) wrongType(key);
    return value.toString();
}

QString requiredString(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) throw std::runtime_error(std::string("preset key \"") + key + "\" is missing");
    if (!value.isString()) wrongType(key);
    return value.toString();
}

}  // namespace

SoundPreset SoundPreset::customNamed(const QString& name, const DSPSettings& settings)
{
    const DSPSettings clean = settings.sanitized();
    SoundPreset preset;
    preset.id = customPrefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    preset.name = name;
    preset.category = PresetCategory::custom;
    preset.symbol = QString::fromLatin1(customSymbol);
    preset.summary = QString::fromLatin1(savedSummaryKey);
    preset.bands = clean.bands;
    preset.highPassHz = clean.highPassHz;
    preset.loudness = clean.loudness;
    preset.limiterReleaseMS = clean.limiterReleaseMS;
    preset.limiterCeilingDB = clean.limiterCeilingDB;
    preset.driveAmount = clean.driveAmount;
    preset.bassHarmonics = clean.bassHarmonics;
    return preset;
}

bool SoundPreset::isBuiltIn() const { return !id.startsWith(customPrefix); }

QString SoundPreset::localizedName() const { return localizedName(L10n::language()); }

QString SoundPreset::localizedName(AppLanguage language) const
{
    if (!isBuiltIn()) return name;
    return L10n::render(id + QStringLiteral(".name"), {}, language);
}

QString SoundPreset::localizedSummary() const
{
    const AppLanguage language = L10n::language();
    if (!isBuiltIn()) {
        if (summary == QLatin1String(savedSummaryKey) || summary == savedSummaryPortuguese)
            return L10n::render(QString::fromLatin1(savedSummaryKey), {}, language);
        return summary;
    }
    return L10n::render(id + QStringLiteral(".summary"), {}, language);
}

bool SoundPreset::sameName(const QString& a, const QString& b) { return userNames::same(a, b); }

bool SoundPreset::matchesNameOrID(const QString& text) const
{
    if (text == id) return true;
    if (sameName(text, name)) return true;
    for (AppLanguage language : appLanguage::allCases)
        if (sameName(text, localizedName(language))) return true;
    return false;
}

void SoundPreset::apply(DSPSettings& settings) const
{
    settings.bands = bands;
    settings.loudness = loudness;
    settings.highPassHz = highPassHz;
    settings.limiterCeilingDB = limiterCeilingDB;
    settings.limiterReleaseMS = limiterReleaseMS;
    settings.driveAmount = driveAmount;
    settings.bassHarmonics = bassHarmonics;
    settings = settings.sanitized();
}

DSPSettings SoundPreset::applied(const DSPSettings& settings) const
{
    DSPSettings copy = settings;
    apply(copy);
    return copy;
}

bool SoundPreset::matches(const DSPSettings& settings) const
{
    // Every bound is strict, so a NaN on either side fails its test.
    const DSPSettings s = settings.sanitized();
    if (bands.size() != s.bands.size()) return false;
    for (size_t i = 0; i < bands.size(); ++i)
        if (!(std::fabs(s.bands[i] - bands[i]) < 0.01f)) return false;
    return s.highPassHz == highPassHz && std::fabs(s.loudness - loudness) < 0.001f
           && std::fabs(s.limiterReleaseMS - limiterReleaseMS) < 0.5f
           && std::fabs(s.limiterCeilingDB - limiterCeilingDB) < 0.01f && std::fabs(s.driveAmount - driveAmount) < 0.01f
           && std::fabs(s.bassHarmonics - bassHarmonics) < 0.01f;
}

std::vector<float> SoundPreset::curve(std::vector<std::pair<float, float>> points)
{
    std::vector<float> gains(DSPSettings::bandCount, 0.0f);
    if (points.empty()) return gains;
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto& first = points.front();
    const auto& last = points.back();
    for (int i = 0; i < DSPSettings::bandCount; ++i) {
        const float x = DSPSettings::frequencies[size_t(i)];
        float gain;
        if (first.first >= x) {
            gain = first.second;
        } else if (x >= last.first) {
            gain = last.second;
        } else {
            size_t j = 0;
            while (points[j + 1].first < x) ++j;
            const float lowLog = std::log2(points[j].first);
            const float span = std::max(std::log2(points[j + 1].first) - lowLog, 0.0001f);
            const float t = (std::log2(x) - lowLog) / span;
            gain = points[j].second + (points[j + 1].second - points[j].second) * t;
        }
        gains[size_t(i)] = std::round(gain);
    }
    return gains;
}

QJsonObject SoundPreset::toJson() const
{
    QJsonArray bandArray;
    for (float gain : bands) bandArray.append(jsonFloat::encode(gain));
    return QJsonObject{
        {"id", id},
        {"name", name},
        {"category", presetCategory::rawValue(category)},
        {"symbol", symbol},
        {"summary", summary},
        {"bands", bandArray},
        {"highPassHz", jsonFloat::encode(highPassHz)},
        {"loudness", jsonFloat::encode(loudness)},
        {"limiterReleaseMS", jsonFloat::encode(limiterReleaseMS)},
        {"limiterCeilingDB", jsonFloat::encode(limiterCeilingDB)},
        {"driveAmount", jsonFloat::encode(driveAmount)},
        {"bassHarmonics", jsonFloat::encode(bassHarmonics)},
    };
}

SoundPreset SoundPreset::fromJson(const QJsonObject& object)
{
    SoundPreset preset;
    preset.id = requiredString(object, "id");
    preset.name = requiredString(object, "name");
    const QJsonValue category = object.value(QLatin1String("category"));
    if (!category.isUndefined() && !category.isNull()) {
        if (!category.isString()) wrongType("category");
        const std::optional<PresetCategory> known = presetCategory::fromRawValue(category.toString());
        if (!known) wrongType("category");
        preset.category = *known;
    }
    preset.symbol = optionalString(object, "symbol", QString::fromLatin1(customSymbol));
    preset.summary = optionalString(object, "summary", QString());
    const QJsonValue bands = object.value(QLatin1String("bands"));
    if (!bands.isUndefined() && !bands.isNull()) {
        if (!bands.isArray()) wrongType("bands");
        for (const QJsonValue& gain : bands.toArray())
            preset.bands.push_back(jsonFloat::decode(gain, QStringLiteral("bands")));
    }
    preset.highPassHz = optionalFloat(object, "highPassHz", 0);
    preset.loudness = optionalFloat(object, "loudness", 0);
    preset.limiterReleaseMS = optionalFloat(object, "limiterReleaseMS", 80);
    preset.limiterCeilingDB = optionalFloat(object, "limiterCeilingDB", -1);
    preset.driveAmount = optionalFloat(object, "driveAmount", 0);
    preset.bassHarmonics = optionalFloat(object, "bassHarmonics", 0);
    return preset;
}

}  // namespace quorel
