#include "DesktopServices.h"

#include "FrontApplicationSource.h"
#include "ShortcutBackend.h"

namespace quorel::desktopServices {

// The X11 and portal implementations live in platform/desktop; until they are wired in, the
// session offers neither service and per-app rules and shortcuts report themselves unavailable.
std::unique_ptr<FrontApplicationSource> frontApplicationSource() { return nullptr; }
std::unique_ptr<ShortcutBackend> shortcutBackend() { return nullptr; }

}  // namespace quorel::desktopServices
