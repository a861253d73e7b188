#include "PresetCategory.h"

#include "L10n.h"

namespace quorel::presetCategory {

QString rawValue(PresetCategory category)
{
    switch (category) {
    case PresetCategory::use: return QStringLiteral("use");
    case PresetCategory::music: return QStringLiteral("music");
    case PresetCategory::device: return QStringLiteral("device");
    case PresetCategory::tone: return QStringLiteral("tone");
    case PresetCategory::custom: return QStringLiteral("custom");
    }
    return {};
}

std::optional<PresetCategory> fromRawValue(const QString& raw)
{
    for (PresetCategory category : allCases)
        if (rawValue(category) == raw) return category;
    return std::nullopt;
}

QString titleKey(PresetCategory category)
{
    switch (category) {
    case PresetCategory::use: return QStringLiteral("Use");
    case PresetCategory::music: return QStringLiteral("Music");
    case PresetCategory::device: return QStringLiteral("Device");
    case PresetCategory::tone: return QStringLiteral("Tone");
    case PresetCategory::custom: return QStringLiteral("My presets");
    }
    return {};
}

QString title(PresetCategory category) { return title(category, L10n::language()); }

QString title(PresetCategory category, AppLanguage language) { return L10n::render(titleKey(category), {}, language); }

}  // namespace quorel::presetCategory
