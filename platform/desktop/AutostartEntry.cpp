#include "AutostartEntry.h"

#include "AtomicFile.h"
#include "DesktopEntryIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quorel {

namespace {

QString absoluteEnvironmentPath(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : QString();
}

QString configHome()
{
    const QString value = absoluteEnvironmentPath("XDG_CONFIG_HOME");
    return value.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : value;
}

// The keys of the [Desktop Entry] group that decide whether the session starts an entry.
struct EntryKeys {
    bool hidden = false;
    bool switchedOff = false;  // X-GNOME-Autostart-enabled=false, as GNOME's own tools write it
    QString exec;
};

EntryKeys readKeys(const QString& path)
{
    EntryKeys keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > 1024 * 1024) return keys;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Hidden"))
            keys.hidden = value == QLatin1String("true");
        else if (key == QLatin1String("X-GNOME-Autostart-enabled"))
            keys.switchedOff = value == QLatin1String("false");
        else if (key == QLatin1String("Exec"))
            keys.exec = DesktopEntryIndex::unescape(value);
    }
    return keys;
}

// Whether the session would start Quorel from the entry at `path`: `programPath` itself, or a
// program named quorel that is there to run (an installed copy, an earlier build).
bool startsQuorel(const QString& path, const QString& programPath)
{
    const EntryKeys keys = readKeys(path);
    if (keys.hidden || keys.switchedOff) return false;
    const QString program = DesktopEntryIndex::programOfExec(keys.exec);
    if (program.isEmpty()) return false;
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty()) return false;
    const QFileInfo info(found);
    return info.canonicalFilePath() == QFileInfo(programPath).canonicalFilePath()
           || info.fileName() == QLatin1String("quorel");
}

// The user's entry of that name where there is one, else the first system-wide one.
std::optional<QString> entryThatApplies(const QString& name)
{
    const QString user = QFileInfo(AutostartEntry::userEntryPath()).absolutePath() + u'/' + name;
    const QFileInfo info(user);
    if (info.exists() || info.isSymLink()) return user;
    for (const QString& folder : AutostartEntry::systemFolders()) {
        const QString path = folder + u'/' + name;
        if (QFileInfo(path).isFile()) return path;
    }
    return std::nullopt;
}

std::optional<QString> systemEntry()
{
    for (const QString& folder : AutostartEntry::systemFolders()) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(AutostartEntry::fileName);
        if (QFileInfo(path).isFile()) return path;
    }
    return std::nullopt;
}

QString describe(const QString& path, const QString& text) { return path + QStringLiteral(": ") + text; }

// Creates the folder of `path`, reporting the operating system's reason on failure.
std::optional<QString> makeFolder(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), error);
    if (error) return describe(folder, QString::fromLocal8Bit(error.message()));
    if (!QFileInfo(folder).isDir()) return describe(folder, QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    return std::nullopt;
}

std::optional<QString> writeEntry(const QString& path, const QByteArray& contents)
{
    if (auto error = makeFolder(path)) return error;
    if (const std::optional<QString> reason = AtomicFile::write(path, contents)) return describe(path, *reason);
    return std::nullopt;
}

std::optional<QString> removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return std::nullopt;
    QFile file(path);
    if (!file.remove()) return describe(path, file.errorString());
    return std::nullopt;
}

}  // namespace

QString AutostartEntry::userEntryPath()
{
    return configHome() + QStringLiteral("/autostart/") + QLatin1String(fileName);
}

QString AutostartEntry::oldUserEntryPath()
{
    return configHome() + QStringLiteral("/autostart/") + QLatin1String(oldFileName);
}

QStringList AutostartEntry::systemFolders()
{
    QStringList folders;
    const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : dirs)
        if (QDir::isAbsolutePath(dir)) folders.append(dir + QStringLiteral("/autostart"));
    if (folders.isEmpty()) folders.append(QStringLiteral("/etc/xdg/autostart"));
    return folders;
}

bool AutostartEntry::isEnabled(const QString& programPath)
{
    for (const char* name : {fileName, oldFileName}) {
        const std::optional<QString> entry = entryThatApplies(QLatin1String(name));
        if (entry && startsQuorel(*entry, programPath)) return true;
    }
    return false;
}

QString AutostartEntry::execValue(const QString& programPath)
{
    // Inside a quoted argument, ", `, $ and \ take a backslash; % is doubled for the field
    // codes; then the string rules of the file escape backslashes and line breaks once more.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : programPath) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        if (c == u'%') quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    QString value;
    for (const QChar c : quoted) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else
            value += c;
    }
    return value;
}

std::optional<QString> AutostartEntry::enable(const QString& programPath)
{
    const QByteArray contents = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Quorel\n"
                                "Exec="
                                + execValue(QFileInfo(programPath).absoluteFilePath()).toUtf8()
                                + "\n"
                                  "Icon=app.quorel.Quorel\n"
                                  "Terminal=false\n"
                                  "X-GNOME-Autostart-enabled=true\n";
    if (auto error = writeEntry(userEntryPath(), contents)) return error;
    return removeEntry(oldUserEntryPath());
}

std::optional<QString> AutostartEntry::disable(const QString& programPath)
{
    for (const QString& path : {userEntryPath(), oldUserEntryPath()})
        if (auto error = removeEntry(path)) return error;
    const std::optional<QString> system = systemEntry();
    if (!system || !startsQuorel(*system, programPath)) return std::nullopt;
    return writeEntry(userEntryPath(), "[Desktop Entry]\n"
                                       "Type=Application\n"
                                       "Name=Quorel\n"
                                       "Hidden=true\n");
}

std::optional<QString> AutostartEntry::replaceOldEntry(const QString& programPath)
{
    const QString old = oldUserEntryPath();
    const QFileInfo info(old);
    if (!info.exists() && !info.isSymLink()) return std::nullopt;
    return startsQuorel(old, programPath) ? enable(programPath) : removeEntry(old);
}

}  // namespace quorel
