#pragma once

#include "AppLanguage.h"

#include <QString>

#include <array>
#include <optional>

namespace quorel {

// The groups presets are listed under, in the order every category list shows them.
enum class PresetCategory { use, music, device, tone, custom };

namespace presetCategory {
inline constexpr std::array<PresetCategory, 5> allCases{
    PresetCategory::use, PresetCategory::music, PresetCategory::device, PresetCategory::tone, PresetCategory::custom};

QString rawValue(PresetCategory category);                       // "use", ..., "custom"
std::optional<PresetCategory> fromRawValue(const QString& raw);  // exact, case-sensitive
QString titleKey(PresetCategory category);                       // "Use", ..., "My presets"
QString title(PresetCategory category);                          // in the saved language
QString title(PresetCategory category, AppLanguage language);
}  // namespace presetCategory

}  // namespace quorel
