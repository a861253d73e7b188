#include "MainTab.h"

#include "L10n.h"

namespace quorel::mainTab {

QString rawValue(MainTab tab)
{
    switch (tab) {
    case MainTab::boost: return QStringLiteral("boost");
    case MainTab::equalizer: return QStringLiteral("equalizer");
    case MainTab::automation: return QStringLiteral("automation");
    case MainTab::output: return QStringLiteral("output");
    case MainTab::settings: return QStringLiteral("settings");
    }
    return QStringLiteral("boost");
}

std::optional<MainTab> fromRawValue(const QString& raw)
{
    for (MainTab tab : allCases)
        if (rawValue(tab) == raw) return tab;
    return std::nullopt;
}

QString id(MainTab tab) { return rawValue(tab); }

QString titleKey(MainTab tab)
{
    switch (tab) {
    case MainTab::boost: return QStringLiteral("Boost");
    case MainTab::equalizer: return QStringLiteral("Equalizer");
    case MainTab::automation: return QStringLiteral("Automation");
    case MainTab::output: return QStringLiteral("Output");
    case MainTab::settings: return QStringLiteral("Settings");
    }
    return {};
}

QString subtitleKey(MainTab tab)
{
    switch (tab) {
    case MainTab::boost:
        return QStringLiteral("More volume with peak control, Drive, Auto level and a monitor of your output.");
    case MainTab::equalizer:
        return QStringLiteral("Tone per band, bass cut, bass harmonics and a limiter to keep peaks in check.");
    case MainTab::automation: return QStringLiteral("Per-app presets, night mode, global shortcuts and URL commands.");
    case MainTab::output:
        return QStringLiteral("Output device, system volume, headphone profile and output monitoring.");
    case MainTab::settings: return QStringLiteral("Launch at login, update checks and global shortcuts.");
    }
    return {};
}

QString title(MainTab tab, AppLanguage language) { return L10n::render(titleKey(tab), {}, language); }
QString title(MainTab tab) { return title(tab, L10n::language()); }
QString subtitle(MainTab tab, AppLanguage language) { return L10n::render(subtitleKey(tab), {}, language); }
QString subtitle(MainTab tab) { return subtitle(tab, L10n::language()); }

}  // namespace quorel::mainTab
