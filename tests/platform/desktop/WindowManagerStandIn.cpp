#include "WindowManagerStandIn.h"

#include <QByteArray>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace quorel::test {

namespace {

bool grabFailed = false;

int recordError(Display*, XErrorEvent* error)
{
    if (error->error_code == BadAccess) grabFailed = true;
    return 0;
}

void ignoreLostServer(Display*, void*) {}

unsigned int maskOf(Display* display, KeySym keysym)
{
    XModifierKeymap* map = XGetModifierMapping(display);
    const KeyCode code = XKeysymToKeycode(display, keysym);
    unsigned int mask = 0;
    for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            if (code != 0 && map->modifiermap[modifier * map->max_keypermod + i] == code) mask = 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return mask;
}

}  // namespace

WindowManagerStandIn::WindowManagerStandIn(const QString& display)
{
    display_ = XOpenDisplay(display.toLocal8Bit().constData());
    if (display_) XSetIOErrorExitHandler(display_, &ignoreLostServer, nullptr);
}

WindowManagerStandIn::~WindowManagerStandIn()
{
    if (display_) XCloseDisplay(display_);
}

void WindowManagerStandIn::sync() { XSync(display_, False); }

unsigned long WindowManagerStandIn::createWindow(const WindowProperties& properties)
{
    const Window root = DefaultRootWindow(display_);
    const Window window = XCreateSimpleWindow(display_, root, 0, 0, 10, 10, 0, 0, 0);
    if (!properties.gtkApplicationID.isEmpty()) {
        const QByteArray id = properties.gtkApplicationID.toUtf8();
        XChangeProperty(display_, window, XInternAtom(display_, "_GTK_APPLICATION_ID", False),
                        XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(id.constData()), int(id.size()));
    }
    if (!properties.instance.isEmpty() || !properties.className.isEmpty()) {
        QByteArray instance = properties.instance.toLatin1();
        QByteArray className = properties.className.toLatin1();
        XClassHint hint{instance.data(), className.data()};
        XSetClassHint(display_, window, &hint);
    }
    if (properties.pid != 0) {
        const unsigned long pid = properties.pid;
        XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    if (!properties.type.isEmpty()) {
        const Atom type = XInternAtom(display_, properties.type.toLatin1().constData(), False);
        XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&type), 1);
    }
    if (properties.skipTaskbar) {
        const Atom state = XInternAtom(display_, "_NET_WM_STATE_SKIP_TASKBAR", False);
        XChangeProperty(display_, window, XInternAtom(display_, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&state), 1);
    }
    if (properties.transientFor != 0) XSetTransientForHint(display_, window, properties.transientFor);
    sync();
    return window;
}

void WindowManagerStandIn::setActiveWindow(unsigned long window)
{
    const unsigned long value = window;
    XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_ACTIVE_WINDOW", False),
                    XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    sync();
}

void WindowManagerStandIn::setClientList(const std::vector<unsigned long>& windows)
{
    XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_CLIENT_LIST", False), XA_WINDOW,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(windows.data()), int(windows.size()));
    sync();
}

unsigned int WindowManagerStandIn::superMask() { return maskOf(display_, XK_Super_L); }

bool WindowManagerStandIn::grabShortcut(const char* keysym)
{
    sync();
    grabFailed = false;
    XErrorHandler previous = XSetErrorHandler(&recordError);
    XGrabKey(display_, XKeysymToKeycode(display_, XStringToKeysym(keysym)),
             ControlMask | maskOf(display_, XK_Alt_L) | superMask(), DefaultRootWindow(display_), False, GrabModeAsync,
             GrabModeAsync);
    sync();
    XSetErrorHandler(previous);
    return !grabFailed;
}

void WindowManagerStandIn::ungrabShortcut(const char* keysym)
{
    XUngrabKey(display_, XKeysymToKeycode(display_, XStringToKeysym(keysym)),
               ControlMask | maskOf(display_, XK_Alt_L) | superMask(), DefaultRootWindow(display_));
    sync();
}

void WindowManagerStandIn::pressShortcut(const char* keysym)
{
    const KeyCode keys[] = {XKeysymToKeycode(display_, XK_Control_L), XKeysymToKeycode(display_, XK_Alt_L),
                            XKeysymToKeycode(display_, XK_Super_L),
                            XKeysymToKeycode(display_, XStringToKeysym(keysym))};
    for (const KeyCode key : keys) XTestFakeKeyEvent(display_, key, True, CurrentTime);
    for (int i = 3; i >= 0; --i) XTestFakeKeyEvent(display_, keys[i], False, CurrentTime);
    sync();
}

void WindowManagerStandIn::toggleNumLock()
{
    const KeyCode key = XKeysymToKeycode(display_, XK_Num_Lock);
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    sync();
}

bool WindowManagerStandIn::numLockOn()
{
    XkbStateRec state;
    if (XkbGetState(display_, XkbUseCoreKbd, &state) != Success) return false;
    return (state.locked_mods & maskOf(display_, XK_Num_Lock)) != 0;
}

}  // namespace quorel::test

namespace quorel::test {

void WindowManagerStandIn::holdShortcut(const char* keysym, int heldMS, const std::function<void(int)>& holdFor)
{
    // The server repeats a held key after 30 ms, every 10 ms.
    XkbSetAutoRepeatRate(display_, XkbUseCoreKbd, 30, 10);
    sync();
    const KeyCode keys[] = {XKeysymToKeycode(display_, XK_Control_L), XKeysymToKeycode(display_, XK_Alt_L),
                            XKeysymToKeycode(display_, XK_Super_L),
                            XKeysymToKeycode(display_, XStringToKeysym(keysym))};
    for (const KeyCode key : keys) XTestFakeKeyEvent(display_, key, True, CurrentTime);
    sync();
    holdFor(heldMS);
    for (int i = 3; i >= 0; --i) XTestFakeKeyEvent(display_, keys[i], False, CurrentTime);
    sync();
}

}  // namespace quorel::test
