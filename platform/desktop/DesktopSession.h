#pragma once

#include "FrontApplicationSource.h"
#include "ShortcutBackend.h"

#include <memory>

namespace quorel {

// The kind of graphical session this process runs in, from its environment.
enum class DesktopSessionKind {
    X11,      // DISPLAY set, not a Wayland session
    Wayland,  // XDG_SESSION_TYPE=wayland or WAYLAND_DISPLAY set (an Xwayland DISPLAY sees only X clients)
    None,     // no display at all
};

DesktopSessionKind currentDesktopSession();

// The front-application source for this session: X11 where the display opens, otherwise one
// that is never available.
std::unique_ptr<FrontApplicationSource> makeFrontApplicationSource(QObject* parent = nullptr);

// The shortcut backend for this session: X11 key grabs, the GlobalShortcuts portal on Wayland
// (available once the portal answers), otherwise one that is never available.
std::unique_ptr<ShortcutBackend> makeShortcutBackend(QObject* parent = nullptr);

}  // namespace quorel
