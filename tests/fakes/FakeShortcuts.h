#pragma once

#include "ShortcutBackend.h"

#include <vector>

namespace quorel::test {

// A shortcut backend that records registrations and lets the test press a shortcut.
class FakeShortcuts final : public ShortcutBackend {
public:
    bool available = true;
    int registrations = 0;
    int unregistrations = 0;
    std::vector<GlobalShortcut> registered;

    bool isAvailable() const override { return available; }
    // The desktop's shortcut service came or went.
    void setAvailable(bool value)
    {
        available = value;
        emit availabilityChanged();
    }
    void registerShortcuts(const std::vector<GlobalShortcut>& shortcuts) override
    {
        ++registrations;
        registered = shortcuts;
    }
    void unregisterShortcuts() override
    {
        ++unregistrations;
        registered.clear();
    }
    // A press reaches the program only while its key is registered.
    void press(uint32_t id)
    {
        for (const GlobalShortcut& shortcut : registered)
            if (shortcut.id == id) emit activated(id);
    }
    void pressRaw(uint32_t id) { emit activated(id); }
};

}  // namespace quorel::test
