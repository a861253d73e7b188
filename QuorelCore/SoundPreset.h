#pragma once

#include "AppLanguage.h"
#include "DSPSettings.h"
#include "PresetCategory.h"

#include <QJsonObject>
#include <QString>

#include <utility>
#include <vector>

namespace quorel {

// A named set of equalizer, bass cut, Loudness, limiter, Drive and bass-harmonics values.
// Never carries Boost, the comparison trim, the leveler or a headphone correction.
struct SoundPreset {
    static constexpr const char* customSymbol = "person.crop.square";
    static constexpr const char* savedSummaryKey = "Preset saved by you.";

    QString id;  // "builtin." for the shipped table, "custom." + UUID for the user's own
    QString name;
    PresetCategory category = PresetCategory::custom;
    QString symbol = QString::fromLatin1(customSymbol);
    QString summary;
    std::vector<float> bands;
    float highPassHz = 0;
    float loudness = 0;
    float limiterReleaseMS = 80;
    float limiterCeilingDB = -1;
    float driveAmount = 0;
    float bassHarmonics = 0;

    // A new user preset ("custom." + UUID) holding the sanitized values of `settings`.
    static SoundPreset customNamed(const QString& name, const DSPSettings& settings);

    bool isBuiltIn() const;  // id does not begin with "custom."
    QString localizedName() const;
    QString localizedName(AppLanguage language) const;
    QString localizedSummary() const;
    bool matchesNameOrID(const QString& text) const;
    // How preset names are matched everywhere (userNames::same).
    static bool sameName(const QString& a, const QString& b);

    void apply(DSPSettings& settings) const;
    DSPSettings applied(const DSPSettings& settings) const;
    bool matches(const DSPSettings& settings) const;

    // The 31 whole-dB band gains drawn through (frequency Hz, gain dB) points, in 32-bit floats.
    static std::vector<float> curve(std::vector<std::pair<float, float>> points);

    QJsonObject toJson() const;
    // "id" and "name" are required; other keys may be absent or null. Throws std::runtime_error
    // on a missing required key, a value of the wrong type or an unknown category.
    static SoundPreset fromJson(const QJsonObject& object);

    bool operator==(const SoundPreset&) const = default;
};

}  // namespace quorel
