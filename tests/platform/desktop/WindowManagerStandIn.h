#pragma once

#include <QString>

#include <functional>
#include <vector>

typedef struct _XDisplay Display;

namespace quorel::test {

// The test's own X client playing window manager and keyboard: it makes windows with the
// properties applications set, publishes _NET_ACTIVE_WINDOW and _NET_CLIENT_LIST on the root,
// holds keys as another program would, and presses keys through XTest.
class WindowManagerStandIn {
public:
    struct WindowProperties {
        QString gtkApplicationID;
        QString instance;
        QString className;
        unsigned long pid = 0;
        QString type;  // "_NET_WM_WINDOW_TYPE_..." or empty for none
        bool skipTaskbar = false;
        unsigned long transientFor = 0;
    };

    explicit WindowManagerStandIn(const QString& display);
    ~WindowManagerStandIn();
    WindowManagerStandIn(const WindowManagerStandIn&) = delete;
    WindowManagerStandIn& operator=(const WindowManagerStandIn&) = delete;

    bool isOpen() const { return display_ != nullptr; }

    unsigned long createWindow(const WindowProperties& properties);
    void setActiveWindow(unsigned long window);
    void setClientList(const std::vector<unsigned long>& windows);

    // Grabs Control+Alt+Super+`keysym` on the root (only that combination); false on BadAccess.
    bool grabShortcut(const char* keysym);
    void ungrabShortcut(const char* keysym);

    // Presses and releases Control+Alt+Super+`keysym` through XTest.
    void pressShortcut(const char* keysym);
    // Presses Control+Alt+Super+`keysym` and holds it while `holdFor(heldMS)` runs (the server
    // repeats the key meanwhile), then releases it all.
    void holdShortcut(const char* keysym, int heldMS, const std::function<void(int)>& holdFor);
    // Presses and releases Num Lock.
    void toggleNumLock();
    // True when the keyboard state has NumLock's modifier set.
    bool numLockOn();

private:
    unsigned int superMask();
    void sync();

    Display* display_ = nullptr;
};

}  // namespace quorel::test
