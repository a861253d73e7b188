#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorel {

// One application entry of the XDG applications folders.
struct DesktopEntry {
    QString id;              // desktop-file id: "org.gnome.Rhythmbox" for org.gnome.Rhythmbox.desktop
    QString name;            // localized Name
    QString icon;            // Icon
    QString startupWMClass;  // StartupWMClass
    QString program;         // the program of Exec, without arguments or environment
};

// The application entries found in $XDG_DATA_HOME/applications and each
// $XDG_DATA_DIRS/applications (an earlier folder wins for the same id). Read on first use and
// read again when one of the folders changed.
class DesktopEntryIndex {
public:
    // `locale` picks the localized Name ("pt_BR"); empty: the process's messages locale.
    explicit DesktopEntryIndex(QString locale = {});

    std::optional<DesktopEntry> byID(const QString& id);
    // WM_CLASS: the entry whose StartupWMClass is the class or instance name, else the entry
    // whose id is one of them (letter case ignored).
    std::optional<DesktopEntry> byWindowClass(const QString& instance, const QString& className);
    // The entry whose Exec program is the process's program (matched by file name).
    std::optional<DesktopEntry> byProgram(const QStringList& programPaths);

    // The folders searched, in order.
    static QStringList applicationFolders();
    // Parses one desktop entry; nullopt when it is no visible application.
    static std::optional<DesktopEntry> parse(const QString& path, const QString& id, const QString& locale);
    // Undoes the escapes of a desktop-entry string value (\s, \n, \t, \r, \\).
    static QString unescape(const QString& value);
    // The program named by an Exec line ("env A=1 /usr/bin/foo --x %U" -> "/usr/bin/foo").
    static QString programOfExec(const QString& exec);

private:
    void refresh();

    QString locale_;
    QStringList folders_;
    std::vector<QDateTime> stamps_;
    std::vector<DesktopEntry> entries_;
    bool loaded_ = false;
};

}  // namespace quorel
