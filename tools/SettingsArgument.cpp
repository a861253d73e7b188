#include "SettingsArgument.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace quorel::tool {

DSPSettings settingsArgument(const QString& value)
{
    QByteArray text;
    if (value.trimmed().startsWith('{')) {
        text = value.toUtf8();
    } else {
        const QFileInfo info(value);
        if (!info.exists()) throw std::runtime_error("--settings: no such file, and not a JSON object: " + value.toStdString());
        if (!info.isFile()) throw std::runtime_error("--settings: not a regular file: " + value.toStdString());
        if (info.size() > 1024 * 1024) throw std::runtime_error("--settings: file larger than 1 MiB: " + value.toStdString());
        QFile file(value);
        if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("--settings: cannot read " + value.toStdString());
        text = file.readAll();
    }
    return DSPSettings::fromJsonText(text).sanitized();
}

}  // namespace quorel::tool
