#include "UnavailableShortcutBackend.h"

namespace quorel {

UnavailableShortcutBackend::~UnavailableShortcutBackend() = default;

}  // namespace quorel
