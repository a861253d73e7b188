#include "SettingsArgument.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <stdexcept>

namespace quorel::tool {

DSPSettings settingsArgument(const QString& value)
{
    QByteArray text;
    const QFileInfo info(value);
    if (!info.exists()) {
        text = value.toUtf8();
    } else {
        if (!info.isFile() || info.size() > 1024 * 1024)
            throw std::runtime_error(
                QStringLiteral("Settings file is not a regular file of at most 1 MiB: %1")
                    .arg(value).toStdString());
        QFile file(value);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(
                QStringLiteral("Could not read the settings file: %1").arg(value).toStdString());
        text = file.readAll();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        throw std::runtime_error(
            QStringLiteral("Settings are not valid JSON: %1").arg(error.errorString()).toStdString());
    if (!document.isObject()) throw std::runtime_error("Settings must be a JSON object.");
    try {
        return DSPSettings::fromJson(document.object()).sanitized();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Invalid settings: ") + e.what());
    }
}

}  // namespace quorel::tool
