#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quorel {

// Restarts the user's sound server: `systemctl --user restart pipewire pipewire-pulse
// wireplumber`, without waiting on the main thread. Reports once, on the main thread: none on
// success, else standard error (trimmed), or why the command could not run or finish in 30 s.
class SoundServerRestart {
public:
    using Done = std::function<void(std::optional<QString> failure)>;

    static QString program() { return QStringLiteral("systemctl"); }
    static QStringList arguments();
    // `context` owns the running process; `timeoutMS` is the give-up time.
    static void run(QObject* context, Done done, int timeoutMS = 30000);
};

// The desktop's sound settings: the first of `gnome-control-center sound`, `systemsettings
// kcm_pulseaudio` and `pavucontrol` found on PATH.
class SoundSettings {
public:
    // The command line, or none when no such program is installed.
    static std::optional<QStringList> command();
    // Starts it detached; false when none is installed or it could not start.
    static bool open();
};

}  // namespace quorel
