#pragma once

#include <memory>

namespace quorel {

class FrontApplicationSource;
class ShortcutBackend;

// The desktop's front-application source and shortcut backend for this session, or none where
// the session offers neither.
namespace desktopServices {
std::unique_ptr<FrontApplicationSource> frontApplicationSource();
std::unique_ptr<ShortcutBackend> shortcutBackend();
}  // namespace desktopServices

}  // namespace quorel
