#pragma once

#include <QLocale>
#include <QString>

#include <array>
#include <optional>

namespace quorel {

class UserDefaults;

// The interface languages, in the order of the language pickers.
enum class AppLanguage { english, portuguese };

namespace appLanguage {
inline constexpr std::array<AppLanguage, 2> allCases{AppLanguage::english, AppLanguage::portuguese};
inline constexpr const char* preferenceKey = "Quorel.Language";

QString rawValue(AppLanguage language);                       // "en", "pt-BR"
std::optional<AppLanguage> fromRawValue(const QString& raw);  // exact, case-sensitive
QString nativeName(AppLanguage language);                     // "English", "Português"
QLocale locale(AppLanguage language);
// The language stored under "Quorel.Language"; exactly "pt-BR" is Portuguese, anything else English.
AppLanguage saved(const UserDefaults& store);
}  // namespace appLanguage

}  // namespace quorel
