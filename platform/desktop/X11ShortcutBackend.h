#pragma once

#include "ShortcutBackend.h"

#include <memory>
#include <set>

namespace quorel {

class X11Connection;

// Global shortcuts on X11: XGrabKey on the root window with Control+Alt+Super (the modifier bits
// read from the server's modifier map), each key also with Lock, NumLock and both, so the keys
// work whatever the lock state. A key another client holds is skipped without a message.
class X11ShortcutBackend : public ShortcutBackend {
    Q_OBJECT
public:
    explicit X11ShortcutBackend(std::shared_ptr<X11Connection> connection, QObject* parent = nullptr);
    ~X11ShortcutBackend() override;

    bool isAvailable() const override;
    // Registering the shortcuts registered already changes nothing.
    void registerShortcuts(const std::vector<GlobalShortcut>& shortcuts) override;
    void unregisterShortcuts() override;

    // The ids of the shortcuts whose keys are grabbed now.
    std::vector<uint32_t> registeredIDs() const;

private:
    struct Grab {
        uint32_t id = 0;
        int keycode = 0;
        std::vector<unsigned int> modifiers;  // the variants actually grabbed
    };
    struct Modifiers {
        unsigned int required = 0;  // Control+Alt+Super
        unsigned int numLock = 0;
    };
    Modifiers readModifiers() const;
    void keyPressed(unsigned int keycode, unsigned int state);
    void connectionLost();

    std::shared_ptr<X11Connection> connection_;
    std::vector<GlobalShortcut> requested_;
    bool registered_ = false;
    std::vector<Grab> grabs_;
    std::set<unsigned int> held_;  // keycodes pressed and not yet released
    Modifiers modifiers_;
    int handlerToken_ = 0;
};

}  // namespace quorel
