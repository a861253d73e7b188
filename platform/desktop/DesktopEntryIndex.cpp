#include "DesktopEntryIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <clocale>

namespace quorel {

namespace {

QString defaultLocale()
{
    // The messages locale as the desktop sees it (LC_ALL, LC_MESSAGES, LANG), "pt_BR.UTF-8" -> "pt_BR".
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        QString value = qEnvironmentVariable(variable);
        if (value.isEmpty()) continue;
        value = value.section('.', 0, 0).section('@', 0, 0);
        return value == "C" || value == "POSIX" ? QString() : value;
    }
    return {};
}

// Splits an Exec value into arguments (double quotes, backslash escapes inside quotes).
QStringList splitExec(const QString& exec)
{
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (c == '\\' && i + 1 < exec.size())
                current += exec[++i];
            else
                current += c;
        } else if (c == '"') {
            quoted = true;
            started = true;
        } else if (c.isSpace()) {
            if (started) arguments << current;
            current.clear();
            started = false;
        } else {
            current += c;
            started = true;
        }
    }
    if (started) arguments << current;
    return arguments;
}

}  // namespace

DesktopEntryIndex::DesktopEntryIndex(QString locale) : locale_(locale.isEmpty() ? defaultLocale() : std::move(locale))
{
}

QStringList DesktopEntryIndex::applicationFolders()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) dataHome = QDir::homePath() + "/.local/share";
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = "/usr/local/share:/usr/share";
    QStringList folders{dataHome + "/applications"};
    for (const QString& dir : dataDirs.split(':', Qt::SkipEmptyParts)) folders << dir + "/applications";
    folders.removeDuplicates();
    return folders;
}

QString DesktopEntryIndex::unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == 's')
            out += ' ';
        else if (next == 'n')
            out += '\n';
        else if (next == 't')
            out += '\t';
        else if (next == 'r')
            out += '\r';
        else
            out += next;
    }
    return out;
}

QString DesktopEntryIndex::programOfExec(const QString& exec)
{
    QStringList arguments = splitExec(exec);
    // "env A=1 B=2 program ...": the program comes after the assignments.
    if (!arguments.isEmpty() && QFileInfo(arguments.first()).fileName() == "env") {
        arguments.removeFirst();
        while (!arguments.isEmpty() && (arguments.first().contains('=') || arguments.first().startsWith('-'))) {
            arguments.removeFirst();
        }
    }
    return arguments.isEmpty() ? QString() : arguments.first();
}

std::optional<DesktopEntry> DesktopEntryIndex::parse(const QString& path, const QString& id, const QString& locale)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024) return std::nullopt;
    const QString language = locale.section('_', 0, 0);
    const QString country = locale.contains('_') ? locale : QString();
    bool inMain = false;
    QString type, name, nameLanguage, nameCountry, exec;
    DesktopEntry entry;
    entry.id = id;
    bool hidden = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescape(line.mid(equals + 1).trimmed());
        if (key == "Type")
            type = value;
        else if (key == "Name")
            name = value;
        else if (!country.isEmpty() && key == "Name[" + country + "]")
            nameCountry = value;
        else if (!language.isEmpty() && key == "Name[" + language + "]")
            nameLanguage = value;
        else if (key == "Icon")
            entry.icon = value;
        else if (key == "StartupWMClass")
            entry.startupWMClass = value;
        else if (key == "Exec")
            exec = value;
        else if (key == "Hidden")
            hidden = value == "true";
    }
    if (type != "Application" || hidden) return std::nullopt;
    entry.name = !nameCountry.isEmpty() ? nameCountry : !nameLanguage.isEmpty() ? nameLanguage : name;
    entry.program = programOfExec(exec);
    return entry;
}

void DesktopEntryIndex::refresh()
{
    const QStringList folders = applicationFolders();
    std::vector<QDateTime> stamps;
    for (const QString& folder : folders) stamps.push_back(QFileInfo(folder).lastModified());
    if (loaded_ && folders == folders_ && stamps == stamps_) return;
    folders_ = folders;
    stamps_ = stamps;
    loaded_ = true;
    entries_.clear();
    QSet<QString> seen;
    for (const QString& folder : folders) {
        const QDir root(folder);
        QDirIterator files(folder, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
        QStringList paths;
        while (files.hasNext()) paths << files.next();
        paths.sort();
        for (const QString& path : paths) {
            QString id = root.relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace('/', '-');
            if (seen.contains(id)) continue;
            seen.insert(id);
            if (auto entry = parse(path, id, locale_)) entries_.push_back(std::move(*entry));
        }
    }
}

std::optional<DesktopEntry> DesktopEntryIndex::byID(const QString& id)
{
    refresh();
    for (const DesktopEntry& entry : entries_) {
        if (entry.id == id) return entry;
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntryIndex::byWindowClass(const QString& instance, const QString& className)
{
    refresh();
    for (const QString& wanted : {className, instance}) {
        if (wanted.isEmpty()) continue;
        for (const DesktopEntry& entry : entries_) {
            if (!entry.startupWMClass.isEmpty() && entry.startupWMClass == wanted) return entry;
        }
    }
    for (const QString& wanted : {className, instance}) {
        if (wanted.isEmpty()) continue;
        for (const DesktopEntry& entry : entries_) {
            if (entry.id.compare(wanted, Qt::CaseInsensitive) == 0) return entry;
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntryIndex::byProgram(const QStringList& programPaths)
{
    refresh();
    QStringList names;
    for (const QString& path : programPaths) {
        if (!path.isEmpty()) names << QFileInfo(path).fileName();
    }
    if (names.isEmpty()) return std::nullopt;
    // A full path in Exec must be the same file; a bare name matches by file name.
    for (const DesktopEntry& entry : entries_) {
        if (entry.program.isEmpty()) continue;
        if (entry.program.contains('/')) {
            if (programPaths.contains(entry.program)) return entry;
        }
    }
    for (const DesktopEntry& entry : entries_) {
        if (entry.program.isEmpty()) continue;
        if (names.contains(QFileInfo(entry.program).fileName())) return entry;
    }
    return std::nullopt;
}

}  // namespace quorel
