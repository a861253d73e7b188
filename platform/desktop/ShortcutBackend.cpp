#include "ShortcutBackend.h"

namespace quorel {

ShortcutBackend::~ShortcutBackend() = default;

}  // namespace quorel
