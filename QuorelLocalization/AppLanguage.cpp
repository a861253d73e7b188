#include "AppLanguage.h"

#include "UserDefaults.h"

namespace quorel::appLanguage {

QString rawValue(AppLanguage language)
{
    switch (language) {
    case AppLanguage::english: return QStringLiteral("en");
    case AppLanguage::portuguese: return QStringLiteral("pt-BR");
    }
    return QStringLiteral("en");
}

std::optional<AppLanguage> fromRawValue(const QString& raw)
{
    for (AppLanguage language : allCases) {
        if (rawValue(language) == raw) return language;
    }
    return std::nullopt;
}

QString nativeName(AppLanguage language)
{
    switch (language) {
    case AppLanguage::english: return QStringLiteral("English");
    case AppLanguage::portuguese: return QStringLiteral("Português");
    }
    return QStringLiteral("English");
}

QLocale locale(AppLanguage language)
{
    return language == AppLanguage::portuguese ? QLocale(QLocale::Portuguese, QLocale::Brazil)
                                               : QLocale(QLocale::English, QLocale::UnitedStates);
}

AppLanguage saved(const UserDefaults& store)
{
    const std::optional<QString> stored = store.string(QString::fromLatin1(preferenceKey));
    return stored == rawValue(AppLanguage::portuguese) ? AppLanguage::portuguese : AppLanguage::english;
}

}  // namespace quorel::appLanguage
