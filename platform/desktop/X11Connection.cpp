#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <X11/Xlib.h>

#include <algorithm>
#include <map>

namespace quorel {

namespace {

// Xlib's error handlers are process-wide; these map each display to its connection and pass
// the errors of displays that are not ours (a toolkit's) on to the handler installed before.
std::map<Display*, X11Connection*>& connections()
{
    static std::map<Display*, X11Connection*> map;
    return map;
}

XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

std::weak_ptr<X11Connection>& sharedConnection()
{
    static std::weak_ptr<X11Connection> connection;
    return connection;
}

}  // namespace

struct X11ConnectionHandlers {
    static int error(Display* display, XErrorEvent* event)
    {
        const auto found = connections().find(display);
        if (found == connections().end()) {
            return previousErrorHandler ? previousErrorHandler(display, event) : 0;
        }
        found->second->errors_.push_back({event->serial, event->error_code, event->request_code});
        // Bounded: errors nobody asks for (a window that vanished) must not pile up.
        if (found->second->errors_.size() > 256) {
            found->second->errors_.erase(found->second->errors_.begin(), found->second->errors_.begin() + 128);
        }
        return 0;
    }

    static int ioError(Display* display)
    {
        if (connections().count(display) == 0 && previousIOErrorHandler) {
            return previousIOErrorHandler(display);
        }
        // Ours: the exit handler below marks the connection lost and returns, so the process
        // runs on.
        return 0;
    }

    static void ioErrorExit(Display* display, void* userData)
    {
        auto* connection = static_cast<X11Connection*>(userData);
        if (connections().count(display) == 0) return;
        connection->markLost();
    }
};

X11Connection::X11Connection(Display* display) : display_(display)
{
    root_ = DefaultRootWindow(display_);
    connections()[display_] = this;
    // Installed again when a toolkit replaced them since; the toolkit's are kept for its displays.
    const XErrorHandler previous = XSetErrorHandler(&X11ConnectionHandlers::error);
    if (previous != &X11ConnectionHandlers::error) previousErrorHandler = previous;
    const XIOErrorHandler previousIO = XSetIOErrorHandler(&X11ConnectionHandlers::ioError);
    if (previousIO != &X11ConnectionHandlers::ioError) previousIOErrorHandler = previousIO;
    XSetIOErrorExitHandler(display_, &X11ConnectionHandlers::ioErrorExit, this);

    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    // Xlib reads events into its own queue while it waits for replies; pick those up before the
    // event loop sleeps, since the socket will not signal them again.
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (alive_ && !dispatching_ && XEventsQueued(display_, QueuedAlready) > 0) readEvents();
        });
    }
}

X11Connection::~X11Connection()
{
    connections().erase(display_);
    // XCloseDisplay skips talking to the server once the connection broke.
    XCloseDisplay(display_);
}

std::shared_ptr<X11Connection> X11Connection::open(const QString& displayName)
{
    const QByteArray name = displayName.toLocal8Bit();
    Display* display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
    if (!display) return nullptr;
    return std::shared_ptr<X11Connection>(new X11Connection(display));
}

std::shared_ptr<X11Connection> X11Connection::shared()
{
    std::shared_ptr<X11Connection> connection = sharedConnection().lock();
    if (connection && connection->isAlive()) return connection;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return nullptr;
    connection = open();
    sharedConnection() = connection;
    return connection;
}

int X11Connection::addEventHandler(std::function<void(const XEvent&)> handler)
{
    handlers_.emplace_back(nextToken_, std::move(handler));
    return nextToken_++;
}

void X11Connection::removeEventHandler(int token)
{
    std::erase_if(handlers_, [token](const auto& entry) { return entry.first == token; });
}

std::vector<X11Connection::Error> X11Connection::syncAndTakeErrors()
{
    if (!alive_) return {};
    XSync(display_, False);
    std::vector<Error> errors;
    errors.swap(errors_);
    if (!alive_) return {};
    return errors;
}

unsigned long X11Connection::atom(const char* name)
{
    if (!alive_) return 0;
    return XInternAtom(display_, name, False);
}

void X11Connection::drain()
{
    if (alive_ && !dispatching_ && XEventsQueued(display_, QueuedAlready) > 0) readEvents();
}

void X11Connection::readEvents()
{
    if (!alive_ || dispatching_) return;
    dispatching_ = true;
    while (alive_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (!alive_) break;
        // A handler may remove handlers; iterate over a copy.
        const auto handlers = handlers_;
        for (const auto& entry : handlers) entry.second(event);
    }
    dispatching_ = false;
    if (!alive_ && !lostReported_) {
        lostReported_ = true;
        emit lost();
    }
}

void X11Connection::markLost()
{
    if (!alive_) return;
    alive_ = false;
    notifier_->setEnabled(false);
    errors_.clear();
    // Called from inside an Xlib call: tell the others once control is back in the event loop.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (lostReported_) return;
            lostReported_ = true;
            emit lost();
        },
        Qt::QueuedConnection);
}

}  // namespace quorel
