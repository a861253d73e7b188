#include "SettingsArgument.h"

#include "HeadphoneProfile.h"
#include "UserFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorel::tool {

namespace {

[[noreturn]] void refuse(const QString& message) { throw std::runtime_error(message.toStdString()); }

const QStringList& knownKeys()
{
    static const QStringList keys{"boostDB",          "loudness",         "highPassHz",       "bands",
                                  "comparisonTrimDB", "limiterCeilingDB", "limiterReleaseMS", "driveAmount",
                                  "bassHarmonics",    "levelerStrength",  "headphoneProfile"};
    return keys;
}

QByteArray readSettingsFile(const QString& path, const QByteArray& native)
{
    // Non-blocking, so that a FIFO is refused instead of waiting for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) refuse(QStringLiteral("Could not read the settings file: %1").arg(path));
    QFile file;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > 1024 * 1024) {
        ::close(fd);
        refuse(QStringLiteral("Settings file is not a regular file of at most 1 MiB: %1").arg(path));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(QStringLiteral("Could not read the settings file: %1").arg(path));
    }
    return file.readAll();
}

// The development input is stricter than the stored record: every key must be one the record
// knows, `bands` must hold 31 (or the older 10) entries, and a profile must decode.
void checkStrictly(const QJsonObject& object)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!knownKeys().contains(it.key()))
            refuse(QStringLiteral("Invalid settings: unknown key \"%1\".").arg(it.key()));
    const QJsonValue bands = object.value(QStringLiteral("bands"));
    if (!bands.isUndefined() && !bands.isNull()) {
        if (!bands.isArray()) refuse(QStringLiteral("Invalid settings: \"bands\" is not an array."));
        const qsizetype count = bands.toArray().size();
        if (count != DSPSettings::bandCount && count != qsizetype(DSPSettings::octaveBandIndices.size()))
            refuse(QStringLiteral("Invalid settings: \"bands\" holds %1 entries, not %2 (or the older %3).")
                       .arg(count)
                       .arg(DSPSettings::bandCount)
                       .arg(DSPSettings::octaveBandIndices.size()));
    }
    const QJsonValue profile = object.value(QStringLiteral("headphoneProfile"));
    if (!profile.isUndefined() && !profile.isNull()) {
        if (!profile.isObject()) refuse(QStringLiteral("Invalid settings: \"headphoneProfile\" is not an object."));
        try {
            (void)HeadphoneProfile::fromJson(profile.toObject());
        } catch (const std::exception& e) {
            refuse(QStringLiteral("Invalid settings: \"headphoneProfile\" does not decode: %1")
                       .arg(QString::fromUtf8(e.what())));
        }
    }
}

}  // namespace

DSPSettings settingsArgument(const QString& value)
{
    QByteArray text;
    const QByteArray native = UserFile::encodeName(value);
    struct stat status {};
    if (::stat(native.constData(), &status) == 0) {
        text = readSettingsFile(value, native);
    } else {
        // Not a file: inline JSON, unless it cannot be JSON at all, which names a missing file.
        const QString inline_ = value.trimmed();
        if (!inline_.startsWith(u'{') && !inline_.startsWith(u'['))
            refuse(QStringLiteral("The settings file %1 does not exist.").arg(value));
        text = value.toUtf8();
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        refuse(QStringLiteral("Settings are not valid JSON: %1").arg(error.errorString()));
    if (!document.isObject()) refuse(QStringLiteral("Settings must be a JSON object."));
    checkStrictly(document.object());
    try {
        return DSPSettings::fromJson(document.object()).sanitized();
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("Invalid settings: ") + e.what());
    }
}

}  // namespace quorel::tool
