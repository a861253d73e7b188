#include "FakePortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace quorel::test {

namespace {

const QString basePath = QStringLiteral("/org/freedesktop/portal/desktop");

QString senderPart(const QString& sender)
{
    QString part = sender.mid(1);
    part.replace('.', '_');
    return part;
}

}  // namespace

FakePortal::FakePortal(QDBusConnection bus) : bus_(std::move(bus))
{
    serving_ = bus_.registerVirtualObject(basePath, this, QDBusConnection::SubPath)
               && bus_.registerService("org.freedesktop.portal.Desktop");
}

FakePortal::~FakePortal()
{
    bus_.unregisterService("org.freedesktop.portal.Desktop");
    bus_.unregisterObject(basePath, QDBusConnection::UnregisterTree);
}

QString FakePortal::introspect(const QString&) const { return {}; }

void FakePortal::respond(const QString& requestPath, uint code, const QVariantMap& results)
{
    QDBusMessage signal = QDBusMessage::createSignal(requestPath, "org.freedesktop.portal.Request", "Response");
    signal << code << results;
    bus_.send(signal);
}

void FakePortal::sendActivated(const QString& session, const QString& shortcutID)
{
    QDBusMessage signal = QDBusMessage::createSignal(basePath, "org.freedesktop.portal.GlobalShortcuts", "Activated");
    signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcutID << qulonglong(1234) << QVariantMap();
    bus_.send(signal);
}

bool FakePortal::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    if (message.interface() == "org.freedesktop.DBus.Properties" && member == "Get") {
        if (arguments.value(0).toString() == "org.freedesktop.portal.GlobalShortcuts"
            && arguments.value(1).toString() == "version") {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
        } else {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs, "no such property"));
        }
        return true;
    }
    if (message.interface() == "org.freedesktop.portal.Session" && member == "Close") {
        methodsCalled << member;
        closedSessions << message.path();
        connection.send(message.createReply());
        return true;
    }
    if (message.interface() != "org.freedesktop.portal.GlobalShortcuts") return false;
    methodsCalled << member;
    if (member == "CreateSession") {
        const QVariantMap options = qdbus_cast<QVariantMap>(arguments.value(0));
        const QString sender = senderPart(message.service());
        const QString request = basePath + "/request/" + sender + "/" + options.value("handle_token").toString();
        const QString session =
            basePath + "/session/" + sender + "/" + options.value("session_handle_token").toString();
        sessions << session;
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        respond(request, 0, {{"session_handle", session}});
        return true;
    }
    if (member == "BindShortcuts") {
        bound.clear();
        const QDBusArgument list = arguments.value(1).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            BoundShortcut shortcut;
            list.beginStructure();
            list >> shortcut.id >> shortcut.properties;
            list.endStructure();
            bound.push_back(shortcut);
        }
        list.endArray();
        const QVariantMap options = qdbus_cast<QVariantMap>(arguments.value(3));
        const QString request =
            basePath + "/request/" + senderPart(message.service()) + "/" + options.value("handle_token").toString();
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        respond(request, 0, {});
        return true;
    }
    connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    return true;
}

}  // namespace quorel::test
