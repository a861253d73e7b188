#include "X11ShortcutBackend.h"

#include "X11Connection.h"

#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xproto.h>
#include <X11/keysym.h>

#include <algorithm>

namespace quorel {

namespace {

bool sameShortcuts(const std::vector<GlobalShortcut>& a, const std::vector<GlobalShortcut>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const GlobalShortcut& x, const GlobalShortcut& y) { return x.id == y.id && x.key == y.key; });
}

// The modifier bit (Mod1..Mod5, Control...) that carries one of `keysyms`, or 0.
unsigned int modifierCarrying(Display* display, XModifierKeymap* map, std::initializer_list<KeySym> keysyms)
{
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + i];
            if (code == 0) continue;
            for (int column = 0; column < 4; ++column) {
                const KeySym sym = XkbKeycodeToKeysym(display, code, 0, column);
                if (std::find(keysyms.begin(), keysyms.end(), sym) != keysyms.end()) return 1u << modifier;
            }
        }
    }
    return 0;
}

}  // namespace

X11ShortcutBackend::X11ShortcutBackend(std::shared_ptr<X11Connection> connection, QObject* parent)
    : ShortcutBackend(parent), connection_(std::move(connection))
{
    if (!connection_ || !connection_->isAlive()) return;
    handlerToken_ = connection_->addEventHandler([this](const XEvent& event) {
        if (event.type == KeyPress)
            keyPressed(event.xkey.keycode, event.xkey.state);
        else if (event.type == KeyRelease)
            held_.erase(event.xkey.keycode);
        else if (event.type == MappingNotify && event.xmapping.request != MappingPointer) {
            XRefreshKeyboardMapping(const_cast<XMappingEvent*>(&event.xmapping));
        }
    });
    // A key held down repeats as presses alone (no release between), so one press is one action.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(connection_->display(), True, &supported);
    connect(connection_.get(), &X11Connection::lost, this, &X11ShortcutBackend::connectionLost);
}

X11ShortcutBackend::~X11ShortcutBackend()
{
    unregisterShortcuts();
    if (connection_) connection_->removeEventHandler(handlerToken_);
}

bool X11ShortcutBackend::isAvailable() const { return connection_ && connection_->isAlive(); }

X11ShortcutBackend::Modifiers X11ShortcutBackend::readModifiers() const
{
    Display* display = connection_->display();
    Modifiers result;
    XModifierKeymap* map = XGetModifierMapping(display);
    unsigned int alt = Mod1Mask;
    unsigned int super = Mod4Mask;
    if (map) {
        if (const unsigned int bit = modifierCarrying(display, map, {XK_Alt_L, XK_Alt_R})) alt = bit;
        if (const unsigned int bit = modifierCarrying(display, map, {XK_Super_L, XK_Super_R})) super = bit;
        result.numLock = modifierCarrying(display, map, {XK_Num_Lock});
        XFreeModifiermap(map);
    }
    result.required = ControlMask | alt | super;
    return result;
}

void X11ShortcutBackend::registerShortcuts(const std::vector<GlobalShortcut>& shortcuts)
{
    if (registered_ && sameShortcuts(shortcuts, requested_)) return;
    unregisterShortcuts();
    if (!isAvailable()) return;
    requested_ = shortcuts;
    registered_ = true;
    Display* display = connection_->display();
    const Window root = connection_->rootWindow();
    modifiers_ = readModifiers();
    std::vector<unsigned int> variants{0, LockMask};
    if (modifiers_.numLock != 0) {
        variants.push_back(modifiers_.numLock);
        variants.push_back(modifiers_.numLock | LockMask);
    }

    connection_->syncAndTakeErrors();  // forget anything earlier
    struct Attempt {
        size_t grab;
        unsigned int modifiers;
        unsigned long serial;
    };
    std::vector<Attempt> attempts;
    std::vector<Grab> grabs;
    for (const GlobalShortcut& shortcut : shortcuts) {
        const QByteArray name = shortcut.key.toLatin1();
        const KeySym keysym = XStringToKeysym(name.constData());
        const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
        if (keycode == 0) continue;
        grabs.push_back({shortcut.id, keycode, {}});
        for (const unsigned int variant : variants) {
            attempts.push_back({grabs.size() - 1, variant, NextRequest(display)});
            XGrabKey(display, keycode, modifiers_.required | variant, root, False, GrabModeAsync, GrabModeAsync);
        }
    }
    // A combination another client holds comes back as BadAccess for its request.
    const std::vector<X11Connection::Error> errors = connection_->syncAndTakeErrors();
    if (!isAvailable()) return;
    for (const Attempt& attempt : attempts) {
        const bool failed = std::any_of(errors.begin(), errors.end(), [&](const X11Connection::Error& error) {
            return error.serial == attempt.serial && error.requestCode == X_GrabKey;
        });
        if (!failed) grabs[attempt.grab].modifiers.push_back(attempt.modifiers);
    }
    // A key whose plain combination another client holds is skipped whole: our remaining
    // variants would only make it work while a lock key is on.
    bool released = false;
    for (Grab& grab : grabs) {
        const bool plain = std::find(grab.modifiers.begin(), grab.modifiers.end(), 0u) != grab.modifiers.end();
        if (plain) {
            grabs_.push_back(std::move(grab));
            continue;
        }
        for (const unsigned int variant : grab.modifiers) {
            XUngrabKey(display, grab.keycode, modifiers_.required | variant, root);
            released = true;
        }
    }
    if (released) connection_->syncAndTakeErrors();
    connection_->drain();
}

void X11ShortcutBackend::unregisterShortcuts()
{
    registered_ = false;
    held_.clear();
    requested_.clear();
    if (isAvailable()) {
        Display* display = connection_->display();
        for (const Grab& grab : grabs_) {
            for (const unsigned int variant : grab.modifiers) {
                XUngrabKey(display, grab.keycode, modifiers_.required | variant, connection_->rootWindow());
            }
        }
        if (!grabs_.empty()) {
            connection_->syncAndTakeErrors();
            connection_->drain();
        }
    }
    grabs_.clear();
}

std::vector<uint32_t> X11ShortcutBackend::registeredIDs() const
{
    std::vector<uint32_t> ids;
    for (const Grab& grab : grabs_) ids.push_back(grab.id);
    return ids;
}

void X11ShortcutBackend::keyPressed(unsigned int keycode, unsigned int state)
{
    const unsigned int relevant = state & ~(LockMask | modifiers_.numLock) & 0xff;
    if (relevant != modifiers_.required) return;
    for (const Grab& grab : grabs_) {
        if (grab.keycode == int(keycode)) {
            if (!held_.insert(keycode).second) return;  // auto-repeat of a key held down
            emit activated(grab.id);
            return;
        }
    }
}

void X11ShortcutBackend::connectionLost()
{
    grabs_.clear();
    registered_ = false;
    requested_.clear();
    emit availabilityChanged();
}

}  // namespace quorel
