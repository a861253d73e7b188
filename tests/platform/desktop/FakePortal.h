#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace quorel::test {

// A small org.freedesktop.portal.Desktop of the test's own: it offers GlobalShortcuts
// (version 1), answers CreateSession and BindShortcuts through Request.Response signals as the
// real portal does, records what was bound and closed, and sends Activated on request.
class FakePortal : public QDBusVirtualObject {
    Q_OBJECT
public:
    // Claims the portal's name on `bus` (a connection of its own).
    explicit FakePortal(QDBusConnection bus);
    ~FakePortal() override;

    bool isServing() const { return serving_; }

    struct BoundShortcut {
        QString id;
        QVariantMap properties;
    };
    QStringList methodsCalled;  // in order
    QStringList sessions;       // session handles created
    QStringList closedSessions;
    std::vector<BoundShortcut> bound;

    void sendActivated(const QString& session, const QString& shortcutID);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void respond(const QString& requestPath, uint code, const QVariantMap& results);

    QDBusConnection bus_;
    bool serving_ = false;
};

}  // namespace quorel::test
