#pragma once

#include "Action.h"

#include <QObject>

#include <functional>
#include <memory>

namespace quorel {

class ShortcutBackend;

// Registers the six global shortcuts (Control+Alt+Super with B, A and the arrows) with the
// desktop's shortcut backend and turns a press into an Action. Without a backend (no X11 and
// no portal) registering does nothing. Main thread only.
class HotKeyCenter : public QObject {
    Q_OBJECT
public:
    explicit HotKeyCenter(std::unique_ptr<ShortcutBackend> backend, QObject* parent = nullptr);
    ~HotKeyCenter() override;

    // Called for every accepted press.
    std::function<void(Action)> handler;

    // Registers the six keys; does nothing while they are registered already.
    void registerKeys();
    // Unregisters every key.
    void unregisterKeys();
    bool isRegistered() const { return registered_; }
    // Whether the desktop offers global shortcuts at all.
    bool isAvailable() const;

    // A press of the shortcut with this id; ids outside 1...6 are ignored.
    void fire(uint32_t id);

signals:
    // isAvailable() changed (the X server went away, the portal answered).
    void availabilityChanged();

private:
    std::unique_ptr<ShortcutBackend> backend_;
    bool registered_ = false;
};

}  // namespace quorel
