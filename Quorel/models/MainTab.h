#pragma once

#include "AppLanguage.h"

#include <QString>

#include <array>
#include <optional>

namespace quorel {

// The pages of the main window, in the order the sidebar lists them.
enum class MainTab { boost, equalizer, automation, output, settings };

namespace mainTab {
inline constexpr std::array<MainTab, 5> allCases{MainTab::boost, MainTab::equalizer, MainTab::automation,
                                                 MainTab::output, MainTab::settings};

QString rawValue(MainTab tab);                            // "boost", "equalizer", ...
std::optional<MainTab> fromRawValue(const QString& raw);  // exact, letter case included
QString id(MainTab tab);                                  // the raw value

// The page's name and one-line description, rendered on every call (no caching), in the
// language saved in the standard store or in `language`.
QString title(MainTab tab);
QString title(MainTab tab, AppLanguage language);
QString subtitle(MainTab tab);
QString subtitle(MainTab tab, AppLanguage language);

// The English keys of the two texts.
QString titleKey(MainTab tab);
QString subtitleKey(MainTab tab);
}  // namespace mainTab

}  // namespace quorel
