#include "TrayHostWatcher.h"

#include "DesktopSession.h"
#include "X11Connection.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <X11/Xlib.h>

namespace quorel {

TrayHostWatcher::TrayHostWatcher(const QDBusConnection& bus, std::shared_ptr<X11Connection> x11, QObject* parent)
    : QObject(parent), x11_(std::move(x11))
{
    if (bus.isConnected()) {
        serviceWatcher_ =
            new QDBusServiceWatcher(statusNotifierWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(serviceWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    setStatusNotifierHost(!newOwner.isEmpty());
                });
        if (QDBusConnectionInterface* daemon = bus.interface())
            statusNotifierHost_ = daemon->isServiceRegistered(statusNotifierWatcher).value();
    }
    if (x11_ && x11_->display()) watchX11();
}

std::unique_ptr<TrayHostWatcher> TrayHostWatcher::forSession(QObject* parent)
{
    std::shared_ptr<X11Connection> x11;
    if (currentDesktopSession() == DesktopSessionKind::X11) x11 = X11Connection::shared();
    return std::make_unique<TrayHostWatcher>(QDBusConnection::sessionBus(), std::move(x11), parent);
}

TrayHostWatcher::~TrayHostWatcher()
{
    if (x11_ && handlerToken_) x11_->removeEventHandler(handlerToken_);
}

void TrayHostWatcher::setStatusNotifierHost(bool present)
{
    // A new owner, even one that replaced another at once, is a host that has not seen us.
    const bool before = available();
    statusNotifierHost_ = present;
    if (present) emit hostAppeared();
    if (available() != before) emit availableChanged(available());
}

void TrayHostWatcher::watchX11()
{
    Display* display = x11_->display();
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(display));
    selection_ = x11_->atom(name.constData());
    manager_ = x11_->atom("MANAGER");
    // A tray that takes the selection announces itself with a MANAGER message to the root
    // window's StructureNotify listeners; keep the mask other services of this connection chose.
    const Window root = x11_->rootWindow();
    XWindowAttributes attributes;
    long mask = StructureNotifyMask;
    if (XGetWindowAttributes(display, root, &attributes)) mask |= attributes.your_event_mask;
    XSelectInput(display, root, mask);
    handlerToken_ = x11_->addEventHandler([this, root](const XEvent& event) {
        if (event.type == ClientMessage && event.xclient.window == root && event.xclient.message_type == manager_
            && static_cast<unsigned long>(event.xclient.data.l[1]) == selection_) {
            takeXEmbedOwner(static_cast<unsigned long>(event.xclient.data.l[2]));
        } else if (event.type == DestroyNotify && xembedOwner_ != 0 && event.xdestroywindow.window == xembedOwner_) {
            // The tray went; another may already hold the selection.
            takeXEmbedOwner(0);
            refreshXEmbedOwner();
        }
    });
    connect(x11_.get(), &X11Connection::lost, this, [this] { takeXEmbedOwner(0); });
    refreshXEmbedOwner();
}

void TrayHostWatcher::refreshXEmbedOwner()
{
    Display* display = x11_ ? x11_->display() : nullptr;
    if (!display) return;
    takeXEmbedOwner(XGetSelectionOwner(display, selection_));
}

void TrayHostWatcher::takeXEmbedOwner(unsigned long owner)
{
    if (owner == xembedOwner_) return;
    Display* display = x11_ ? x11_->display() : nullptr;
    if (owner != 0 && display) {
        // Its DestroyNotify tells when the tray goes. An owner that is gone already fails the
        // request: then there is no tray.
        XSelectInput(display, owner, StructureNotifyMask);
        if (!x11_->syncAndTakeErrors().empty()) owner = 0;
        x11_->drain();
    }
    if (owner == xembedOwner_) return;
    const bool before = available();
    xembedOwner_ = owner;
    if (owner != 0) emit hostAppeared();
    if (available() != before) emit availableChanged(available());
}

}  // namespace quorel
