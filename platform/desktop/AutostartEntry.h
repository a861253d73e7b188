#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quorel {

// Launch at login through the desktop's XDG autostart folders: our entry is
// $XDG_CONFIG_HOME/autostart/quorel.desktop; an entry of the same name in a system-wide
// folder ($XDG_CONFIG_DIRS, default /etc/xdg) applies unless the user's own entry hides it.
// Paths are resolved at each call, so a changed environment is seen. Main thread only.
class AutostartEntry {
public:
    static constexpr const char* fileName = "quorel.desktop";

    // $XDG_CONFIG_HOME/autostart/quorel.desktop (~/.config when the variable is unset or relative).
    static QString userEntryPath();
    // The autostart folders of $XDG_CONFIG_DIRS, most important first.
    static QStringList systemFolders();

    // True when the entry that applies exists and is not marked Hidden=true.
    static bool isEnabled();

    // Writes the user's entry atomically, starting `programPath` with no arguments.
    // Returns the file system's error text on failure.
    static std::optional<QString> enable(const QString& programPath);
    // Removes the user's entry; where a system-wide entry would still start the program, writes
    // a user entry with Hidden=true over it. Returns the file system's error text on failure.
    static std::optional<QString> disable();

    // The Exec= value that runs `programPath` with no arguments: quoted and escaped as desktop
    // entries require.
    static QString execValue(const QString& programPath);
};

}  // namespace quorel
