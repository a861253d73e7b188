#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

namespace quorel {

// One global shortcut: Control+Alt+Super with `key`, an X keysym name ("b", "a", "Up", "Down",
// "Right", "Left"). `id` comes back with every press.
struct GlobalShortcut {
    uint32_t id = 0;
    QString key;
    QString description;
    // A stable name for desktops that list shortcuts by name (the portal's shortcut id);
    // empty: "shortcut-<id>".
    QString name;
};

// Registers global shortcuts with the desktop: XGrabKey on X11, the GlobalShortcuts portal on
// Wayland; tests use a fake. Main thread only.
class ShortcutBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ShortcutBackend() override;

    virtual bool isAvailable() const = 0;
    // Registers the shortcuts (replacing any registered before). A key another program holds
    // is skipped; the others work.
    virtual void registerShortcuts(const std::vector<GlobalShortcut>& shortcuts) = 0;
    virtual void unregisterShortcuts() = 0;

signals:
    void activated(uint32_t id);
    // isAvailable() changed (the X server went away, the portal answered or failed).
    void availabilityChanged();
};

}  // namespace quorel
