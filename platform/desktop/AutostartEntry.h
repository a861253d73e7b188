#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quorel {

// Launch at login through the desktop's XDG autostart folders: our entry is
// $XDG_CONFIG_HOME/autostart/app.quorel.Quorel.desktop, named by the application id; an entry of
// the same name in a system-wide folder ($XDG_CONFIG_DIRS, default /etc/xdg) applies unless the
// user's own entry replaces it. Earlier versions wrote quorel.desktop: it is still read, and
// replaced by the new name. Paths are resolved at each call, so a changed environment is seen.
// Main thread only.
class AutostartEntry {
public:
    static constexpr const char* fileName = "app.quorel.Quorel.desktop";
    static constexpr const char* oldFileName = "quorel.desktop";

    // $XDG_CONFIG_HOME/autostart/<fileName> (~/.config when the variable is unset or relative).
    static QString userEntryPath();
    // The same folder, the name earlier versions wrote.
    static QString oldUserEntryPath();
    // The autostart folders of $XDG_CONFIG_DIRS, most important first.
    static QStringList systemFolders();

    // True when an entry of ours that applies would start Quorel at login: not Hidden=true,
    // not switched off with X-GNOME-Autostart-enabled=false, and its Exec runs `programPath`
    // or another installed program named quorel.
    static bool isEnabled(const QString& programPath);

    // Writes the user's entry atomically, starting `programPath` with no arguments, and removes
    // an entry under the old name. Returns the file system's error text on failure.
    static std::optional<QString> enable(const QString& programPath);
    // Removes the user's entries; where a system-wide entry would still start Quorel, writes a
    // user entry with Hidden=true over it. Returns the file system's error text on failure.
    static std::optional<QString> disable(const QString& programPath);
    // Replaces an entry an earlier version wrote under the old name: one that would start Quorel
    // becomes our entry for `programPath`, any other is removed. Nothing to do is a success.
    static std::optional<QString> replaceOldEntry(const QString& programPath);

    // The Exec= value that runs `programPath` with no arguments: quoted and escaped as desktop
    // entries require.
    static QString execValue(const QString& programPath);
};

}  // namespace quorel
