#include "UserDefaults.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

#include <cmath>
#include <cstdio>

namespace quorel {

// Every value is written as text, so what a later process reads back (QSettings keeps no types
// in INI files) is exactly what this process sees. QSettings quotes texts holding commas, so a
// JSON value never comes back as a list.

UserDefaults UserDefaults::standard()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative path here.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return UserDefaults(base + QStringLiteral("/Quorel/Quorel.conf"));
}

UserDefaults::UserDefaults(const QString& filePath) : path_(filePath) {}

bool UserDefaults::contains(const QString& key) const
{
    return QSettings(path_, QSettings::IniFormat).contains(key);
}

void UserDefaults::remove(const QString& key)
{
    QSettings(path_, QSettings::IniFormat).remove(key);
}

std::optional<QString> UserDefaults::string(const QString& key) const
{
    const QVariant value = QSettings(path_, QSettings::IniFormat).value(key);
    if (!value.isValid()) return std::nullopt;
    // A hand-edited line with unquoted commas reads as a list.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

std::optional<bool> UserDefaults::boolean(const QString& key) const
{
    const std::optional<QString> text = string(key);
    if (text == QStringLiteral("true")) return true;
    if (text == QStringLiteral("false")) return false;
    return std::nullopt;
}

std::optional<double> UserDefaults::number(const QString& key) const
{
    const std::optional<QString> text = string(key);
    if (!text) return std::nullopt;
    bool ok = false;
    const double value = text->trimmed().toDouble(&ok);  // QString::toDouble ignores the locale
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    QSettings(path_, QSettings::IniFormat).setValue(key, value);
}

void UserDefaults::setBoolean(const QString& key, bool value)
{
    setString(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void UserDefaults::setNumber(const QString& key, double value)
{
    setString(key, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void UserDefaults::setAsideUnreadable(const QString& key)
{
    const std::optional<QString> value = string(key);
    const QString backupKey = key + QStringLiteral(".unreadable");
    if (!value || string(backupKey) == value) return;
    setString(backupKey, *value);
    const QByteArray note = QStringLiteral("Quorel: the stored value of %1 could not be read; it is kept as %2.\n")
                                .arg(key, backupKey).toUtf8();
    std::fputs(note.constData(), stderr);
}

void UserDefaults::sync()
{
    QSettings(path_, QSettings::IniFormat).sync();
}

}  // namespace quorel
