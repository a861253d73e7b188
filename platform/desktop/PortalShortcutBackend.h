#pragma once

#include "ShortcutBackend.h"

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <functional>

class QDBusMessage;

namespace quorel {

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts), for
// Wayland sessions: a session is created, the shortcuts bound to it with their preferred
// triggers ("CTRL+ALT+LOGO+b"), presses arrive as Activated, and closing the session
// unregisters them. Every call is asynchronous; the backend is available once the portal
// answered that it offers the interface.
class PortalShortcutBackend : public ShortcutBackend {
    Q_OBJECT
public:
    explicit PortalShortcutBackend(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~PortalShortcutBackend() override;

    bool isAvailable() const override { return available_; }
    // The portal answered whether it offers global shortcuts.
    bool hasProbed() const { return probed_; }
    void registerShortcuts(const std::vector<GlobalShortcut>& shortcuts) override;
    void unregisterShortcuts() override;

    // The session handle while one is open (empty otherwise).
    QString sessionHandle() const { return session_; }
    // The portal's shortcut id of a shortcut.
    static QString portalID(const GlobalShortcut& shortcut);
    // The trigger asked for: "CTRL+ALT+LOGO+" and the key.
    static QString preferredTrigger(const GlobalShortcut& shortcut);

private slots:
    void onActivated(const QDBusMessage& message);
    void onSessionClosed(const QDBusMessage& message);

private:
    using ResponseHandler = std::function<void(uint code, const QVariantMap& results)>;
    // Sends a portal method whose result comes as a Request's Response signal.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options, ResponseHandler handler);
    void startSession();
    void bind();
    void closeSession();

    QDBusConnection bus_;
    bool available_ = false;
    bool probed_ = false;
    bool wanted_ = false;
    bool creating_ = false;
    std::vector<GlobalShortcut> shortcuts_;
    QString session_;
    int tokenCounter_ = 0;
};

}  // namespace quorel
