#pragma once

#include "ShortcutBackend.h"

namespace quorel {

// Shortcuts where the desktop offers no way to register them: never available; registering
// does nothing.
class UnavailableShortcutBackend : public ShortcutBackend {
    Q_OBJECT
public:
    using ShortcutBackend::ShortcutBackend;
    ~UnavailableShortcutBackend() override;
    bool isAvailable() const override { return false; }
    void registerShortcuts(const std::vector<GlobalShortcut>&) override {}
    void unregisterShortcuts() override {}
};

}  // namespace quorel
