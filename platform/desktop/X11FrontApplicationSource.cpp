#include "X11FrontApplicationSource.h"

#include "X11Connection.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

namespace quorel {

namespace {

// One property's items (format 32 as longs, format 8 as bytes). Empty when absent or on error
// (the window may have gone meanwhile).
struct Property {
    unsigned long type = 0;
    int format = 0;
    QByteArray bytes;
    std::vector<unsigned long> longs;
};

Property readProperty(Display* display, Window window, Atom property, Atom type, long maxLength = 4096)
{
    Property result;
    if (!display || !window || !property) return result;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, maxLength, False, type, &actualType, &format, &count,
                           &remaining, &data)
        != Success) {
        return result;
    }
    result.type = actualType;
    result.format = format;
    if (data && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        result.longs.assign(items, items + count);
    } else if (data && format == 8) {
        result.bytes = QByteArray(reinterpret_cast<const char*>(data), int(count));
    }
    if (data) XFree(data);
    return result;
}

QStringList programPathsOfProcess(unsigned long pid)
{
    QStringList paths;
    const QString folder = "/proc/" + QString::number(pid);
    const QString exe = QFileInfo(folder + "/exe").symLinkTarget();
    if (!exe.isEmpty()) paths << exe;
    QFile cmdline(folder + "/cmdline");
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray first = cmdline.read(4096).split('\0').value(0);
        if (!first.isEmpty()) paths << QString::fromLocal8Bit(first);
    }
    return paths;
}

DesktopApplication ownApplication()
{
    return {FrontApplicationSource::ownApplicationID, QStringLiteral("Quorel"),
            FrontApplicationSource::ownApplicationID};
}

DesktopApplication fromEntry(const DesktopEntry& entry)
{
    return {entry.id, entry.name.isEmpty() ? entry.id : entry.name, entry.icon};
}

}  // namespace

X11FrontApplicationSource::X11FrontApplicationSource(std::shared_ptr<X11Connection> connection, QObject* parent)
    : FrontApplicationSource(parent), connection_(std::move(connection))
{
    if (!connection_ || !connection_->isAlive()) return;
    Display* display = connection_->display();
    const Window root = connection_->rootWindow();
    XWindowAttributes attributes;
    long mask = PropertyChangeMask;
    if (XGetWindowAttributes(display, root, &attributes)) mask |= attributes.your_event_mask;
    XSelectInput(display, root, mask);
    const Atom activeWindow = connection_->atom("_NET_ACTIVE_WINDOW");
    handlerToken_ = connection_->addEventHandler([this, root, activeWindow](const XEvent& event) {
        if (event.type == PropertyNotify && event.xproperty.window == root && event.xproperty.atom == activeWindow) {
            activeWindowChanged();
        }
    });
    connect(connection_.get(), &X11Connection::lost, this, &X11FrontApplicationSource::connectionLost);
    const Property active = readProperty(display, root, activeWindow, XA_WINDOW);
    if (!active.longs.empty()) front_ = applicationOfWindow(active.longs.front());
    connection_->drain();
}

X11FrontApplicationSource::~X11FrontApplicationSource()
{
    if (connection_) connection_->removeEventHandler(handlerToken_);
}

bool X11FrontApplicationSource::isAvailable() const { return connection_ && connection_->isAlive(); }

std::optional<DesktopApplication> X11FrontApplicationSource::frontApplication() const
{
    return isAvailable() ? front_ : std::nullopt;
}

std::optional<DesktopApplication> X11FrontApplicationSource::applicationOfWindow(unsigned long window) const
{
    if (!isAvailable() || window == 0) return std::nullopt;
    Display* display = connection_->display();
    const Atom utf8 = connection_->atom("UTF8_STRING");

    const Property pid = readProperty(display, window, connection_->atom("_NET_WM_PID"), XA_CARDINAL, 1);
    const unsigned long processID = pid.longs.empty() ? 0 : pid.longs.front();
    if (processID != 0 && processID == static_cast<unsigned long>(getpid())) return ownApplication();

    const Property gtkID = readProperty(display, window, connection_->atom("_GTK_APPLICATION_ID"), utf8);
    if (!gtkID.bytes.isEmpty()) {
        const QString id = QString::fromUtf8(gtkID.bytes);
        if (auto entry = entries_.byID(id)) return fromEntry(*entry);
        return DesktopApplication{id, id, {}};
    }

    // WM_CLASS: instance name, NUL, class name, NUL.
    const Property wmClass = readProperty(display, window, XA_WM_CLASS, XA_STRING);
    const QList<QByteArray> parts = wmClass.bytes.split('\0');
    const QString instance = QString::fromLocal8Bit(parts.value(0));
    const QString className = QString::fromLocal8Bit(parts.value(1));
    if (auto entry = entries_.byWindowClass(instance, className)) return fromEntry(*entry);

    if (processID != 0) {
        if (auto entry = entries_.byProgram(programPathsOfProcess(processID))) return fromEntry(*entry);
    }
    const QString fallback = !className.isEmpty() ? className : instance;
    if (!fallback.isEmpty()) return DesktopApplication{fallback, fallback, {}};
    return std::nullopt;
}

std::vector<DesktopApplication> X11FrontApplicationSource::runningApplications() const
{
    std::vector<DesktopApplication> result;
    if (!isAvailable()) return result;
    Display* display = connection_->display();
    const Property clients =
        readProperty(display, connection_->rootWindow(), connection_->atom("_NET_CLIENT_LIST"), XA_WINDOW, 65536);
    const Atom windowType = connection_->atom("_NET_WM_WINDOW_TYPE");
    const Atom normalType = connection_->atom("_NET_WM_WINDOW_TYPE_NORMAL");
    const Atom state = connection_->atom("_NET_WM_STATE");
    const Atom skipTaskbar = connection_->atom("_NET_WM_STATE_SKIP_TASKBAR");
    const Atom pidAtom = connection_->atom("_NET_WM_PID");
    QSet<unsigned long> processes;
    for (const unsigned long window : clients.longs) {
        const Property types = readProperty(display, window, windowType, XA_ATOM);
        if (types.longs.empty()) {
            // No type: normal, unless it is a transient (a dialog).
            Window owner = 0;
            if (XGetTransientForHint(display, window, &owner) && owner != 0) continue;
        } else if (types.longs.front() != normalType) {
            continue;
        }
        const Property states = readProperty(display, window, state, XA_ATOM);
        if (std::find(states.longs.begin(), states.longs.end(), skipTaskbar) != states.longs.end()) continue;
        const Property pid = readProperty(display, window, pidAtom, XA_CARDINAL, 1);
        if (!pid.longs.empty()) {
            if (processes.contains(pid.longs.front())) continue;
            processes.insert(pid.longs.front());
        }
        if (auto application = applicationOfWindow(window)) result.push_back(std::move(*application));
        if (!isAvailable()) return {};
    }
    connection_->drain();
    return result;
}

void X11FrontApplicationSource::activeWindowChanged()
{
    if (!isAvailable()) return;
    const Property active = readProperty(connection_->display(), connection_->rootWindow(),
                                         connection_->atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
    std::optional<DesktopApplication> front;
    if (!active.longs.empty()) front = applicationOfWindow(active.longs.front());
    if (!isAvailable()) return;
    // Another window of the same application is no activation.
    const bool changed = front.has_value() != front_.has_value() || (front && front->id != front_->id);
    front_ = std::move(front);
    if (changed) emit frontApplicationChanged();
}

void X11FrontApplicationSource::connectionLost()
{
    front_.reset();
    emit availabilityChanged();
}

}  // namespace quorel
