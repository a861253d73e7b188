#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

class QDBusServiceWatcher;

namespace quorel {

class X11Connection;

// Whether the desktop has a tray host at this moment, followed live: a StatusNotifierWatcher
// (org.kde.StatusNotifierWatcher) on the session bus, or on X11 an owner of the system tray
// selection _NET_SYSTEM_TRAY_S<screen> (XEmbed). Panels often start after the programs that
// autostart, and restart: both roads are event-driven (a D-Bus name watch; the MANAGER message
// a new tray broadcasts on the root window and the DestroyNotify of the owner's window), so a
// host that comes is seen at once and nothing polls. Main thread only.
class TrayHostWatcher : public QObject {
    Q_OBJECT
public:
    static inline const QString statusNotifierWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

    // Watches `bus` (when connected) and `x11` (when given). Either may be absent.
    TrayHostWatcher(const QDBusConnection& bus, std::shared_ptr<X11Connection> x11, QObject* parent = nullptr);
    // The session bus, and the X11 display in an X11 session.
    static std::unique_ptr<TrayHostWatcher> forSession(QObject* parent = nullptr);
    ~TrayHostWatcher() override;

    bool available() const { return statusNotifierHost_ || xembedOwner_ != 0; }
    bool hasStatusNotifierWatcher() const { return statusNotifierHost_; }
    unsigned long xembedTrayOwner() const { return xembedOwner_; }

signals:
    // A host came: the first one, a second kind beside the first, or one that replaced a host
    // that went (a panel restart). An icon must be shown to it anew.
    void hostAppeared();
    void availableChanged(bool available);

private:
    void setStatusNotifierHost(bool present);
    void watchX11();
    // Reads the selection's owner and watches its window; emits what changed.
    void takeXEmbedOwner(unsigned long owner);
    void refreshXEmbedOwner();

    QDBusServiceWatcher* serviceWatcher_ = nullptr;
    std::shared_ptr<X11Connection> x11_;
    int handlerToken_ = 0;
    unsigned long selection_ = 0;
    unsigned long manager_ = 0;
    bool statusNotifierHost_ = false;
    unsigned long xembedOwner_ = 0;
};

}  // namespace quorel
