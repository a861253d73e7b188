#include "AutostartEntry.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Whether the [Desktop Entry] group of the file says Hidden=true. A file that cannot be read
// counts as not hidden: it is there, and the session would try it.
bool isHidden(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(64 * 1024).trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) continue;
        if (line.left(equals).trimmed() == "Hidden") return line.mid(equals + 1).trimmed() == "true";
    }
    return false;
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

}  // namespace

QString AutostartEntry::userEntryPath()
{
    return configHome() + QStringLiteral("/autostart/") + QLatin1String(fileName);
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

bool AutostartEntry::isEnabled()
{
    const QString user = userEntryPath();
    if (QFileInfo(user).isFile()) return !isHidden(user);
    const std::optional<QString> system = systemEntry();
    return system && !isHidden(*system);
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
        if (c == u'\\') value += QStringLiteral("\\\\");
        else if (c == u'\n') value += QStringLiteral("\\n");
        else if (c == u'\r') value += QStringLiteral("\\r");
        else if (c == u'\t') value += QStringLiteral("\\t");
        else value += c;
    }
    return value;
}

std::optional<QString> AutostartEntry::enable(const QString& programPath)
{
    const QByteArray contents = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Quorel\n"
                                "Exec=" + execValue(QFileInfo(programPath).absoluteFilePath()).toUtf8() + "\n"
                                "Terminal=false\n"
                                "X-GNOME-Autostart-enabled=true\n";
    return writeEntry(userEntryPath(), contents);
}

std::optional<QString> AutostartEntry::disable()
{
    const QString user = userEntryPath();
    const QFileInfo info(user);
    if (info.exists() || info.isSymLink()) {
        QFile file(user);
        if (!file.remove()) return describe(user, file.errorString());
    }
    const std::optional<QString> system = systemEntry();
    if (!system || isHidden(*system)) return std::nullopt;
    return writeEntry(user, "[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Quorel\n"
                            "Hidden=true\n");
}

}  // namespace quorel
