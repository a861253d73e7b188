#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace quorel {

// One Xlib connection, read on the main thread through a QSocketNotifier. An X error (a grab
// another client holds, a window that vanished) is recorded and never ends the process; a lost
// connection (the X server went away) makes the connection dead and emits `lost()` once, and the
// process runs on. Shared by the front-application source and the shortcut backend.
class X11Connection : public QObject {
    Q_OBJECT
public:
    // Opens `displayName` (empty: $DISPLAY). Returns null when no display can be opened.
    static std::shared_ptr<X11Connection> open(const QString& displayName = {});
    // The connection to $DISPLAY shared by every service of this process (opened on first use;
    // null when there is none).
    static std::shared_ptr<X11Connection> shared();

    ~X11Connection() override;
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Null once the connection is lost.
    Display* display() const { return alive_ ? display_ : nullptr; }
    bool isAlive() const { return alive_; }
    unsigned long rootWindow() const { return root_; }

    // Receives every event read from the server; returns a token for removeEventHandler.
    int addEventHandler(std::function<void(const XEvent&)> handler);
    void removeEventHandler(int token);

    // An X error recorded by the error handler.
    struct Error {
        unsigned long serial = 0;
        int errorCode = 0;
        int requestCode = 0;
    };
    // Waits for the server to process every request sent so far (XSync) and returns the errors
    // recorded since the last call (for the requests between). Empty when the connection is dead.
    std::vector<Error> syncAndTakeErrors();

    // Interns an atom (cached by Xlib).
    unsigned long atom(const char* name);

    // Reads any events Xlib has queued already; call after requests that may have read some.
    void drain();

signals:
    // The server went away; display() is null from now on.
    void lost();

private:
    explicit X11Connection(Display* display);
    void readEvents();
    void markLost();
    friend struct X11ConnectionHandlers;

    Display* display_ = nullptr;
    unsigned long root_ = 0;
    bool alive_ = true;
    bool lostReported_ = false;
    bool dispatching_ = false;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<std::pair<int, std::function<void(const XEvent&)>>> handlers_;
    int nextToken_ = 1;
    std::vector<Error> errors_;
};

}  // namespace quorel
