#include "PortalShortcutBackend.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>

namespace quorel {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// Receives the Response signal of one request and forgets itself afterwards.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    PortalRequest(QDBusConnection bus, std::function<void(uint, const QVariantMap&)> handler, QObject* parent)
        : QObject(parent), bus_(std::move(bus)), handler_(std::move(handler))
    {
    }

    void listen(const QString& path)
    {
        if (paths_.contains(path)) return;
        paths_ << path;
        bus_.connect(portalService, path, requestInterface, "Response", this, SLOT(onResponse(uint, QVariantMap)));
    }

    void fail() { finish(2, {}); }

public slots:
    void onResponse(uint code, const QVariantMap& results) { finish(code, results); }

private:
    void finish(uint code, const QVariantMap& results)
    {
        if (done_) return;
        done_ = true;
        for (const QString& path : paths_) {
            bus_.disconnect(portalService, path, requestInterface, "Response", this,
                            SLOT(onResponse(uint, QVariantMap)));
        }
        if (handler_) handler_(code, results);
        deleteLater();
    }

    QDBusConnection bus_;
    std::function<void(uint, const QVariantMap&)> handler_;
    QStringList paths_;
    bool done_ = false;
};

QString handleOf(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>() && value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

}  // namespace

}  // namespace quorel

Q_DECLARE_METATYPE(quorel::PortalShortcut)

namespace quorel {

PortalShortcutBackend::PortalShortcutBackend(QDBusConnection bus, QObject* parent)
    : ShortcutBackend(parent), bus_(std::move(bus))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    if (!bus_.isConnected()) return;
    bus_.connect(portalService, portalPath, shortcutsInterface, "Activated", this, SLOT(onActivated(QDBusMessage)));
    bus_.connect(portalService, QString(), sessionInterface, "Closed", this, SLOT(onSessionClosed(QDBusMessage)));

    // Offered when the portal answers for the interface's version.
    QDBusMessage probe =
        QDBusMessage::createMethodCall(portalService, portalPath, "org.freedesktop.DBus.Properties", "Get");
    probe << shortcutsInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(probe), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        probed_ = true;
        const bool offered = !watcher->isError();
        if (offered != available_) {
            available_ = offered;
            emit availabilityChanged();
        }
        if (available_ && wanted_ && session_.isEmpty() && !creating_) startSession();
    });
}

PortalShortcutBackend::~PortalShortcutBackend() { closeSession(); }

QString PortalShortcutBackend::portalID(const GlobalShortcut& shortcut)
{
    return shortcut.name.isEmpty() ? "shortcut-" + QString::number(shortcut.id) : shortcut.name;
}

QString PortalShortcutBackend::preferredTrigger(const GlobalShortcut& shortcut)
{
    return "CTRL+ALT+LOGO+" + shortcut.key;
}

void PortalShortcutBackend::registerShortcuts(const std::vector<GlobalShortcut>& shortcuts)
{
    const bool same =
        std::equal(shortcuts.begin(), shortcuts.end(), shortcuts_.begin(), shortcuts_.end(),
                   [](const GlobalShortcut& a, const GlobalShortcut& b) {
                       return a.id == b.id && a.key == b.key && a.description == b.description && a.name == b.name;
                   });
    if (wanted_ && same) return;
    // New shortcuts replace the old: their session ends and a new one binds them.
    if (!same) closeSession();
    wanted_ = true;
    shortcuts_ = shortcuts;
    if (available_ && session_.isEmpty() && !creating_) startSession();
}

void PortalShortcutBackend::unregisterShortcuts()
{
    wanted_ = false;
    closeSession();
}

void PortalShortcutBackend::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                                    ResponseHandler handler)
{
    const QString token = QStringLiteral("quorel%1").arg(++tokenCounter_);
    options.insert("handle_token", token);
    arguments << options;
    auto* pending = new PortalRequest(bus_, std::move(handler), this);
    // Listen where the portal will answer before asking, so no Response is missed.
    QString sender = bus_.baseService().mid(1);
    sender.replace('.', '_');
    pending->listen(portalPath + "/request/" + sender + "/" + token);

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    QPointer<PortalRequest> guard(pending);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, guard] {
        watcher->deleteLater();
        if (!guard) return;
        QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError())
            guard->fail();
        else
            guard->listen(reply.value().path());
    });
}

void PortalShortcutBackend::startSession()
{
    creating_ = true;
    const QString sessionToken = QStringLiteral("quorel_session%1").arg(tokenCounter_ + 1);
    request("CreateSession", {}, {{"session_handle_token", sessionToken}},
            [this](uint code, const QVariantMap& results) {
                creating_ = false;
                const QString handle = handleOf(results.value("session_handle"));
                if (code != 0 || handle.isEmpty()) return;
                session_ = handle;
                if (!wanted_) {
                    closeSession();
                    return;
                }
                bind();
            });
}

void PortalShortcutBackend::bind()
{
    QList<PortalShortcut> list;
    for (const GlobalShortcut& shortcut : shortcuts_) {
        list.push_back({portalID(shortcut),
                        {{"description", shortcut.description}, {"preferred_trigger", preferredTrigger(shortcut)}}});
    }
    const QString session = session_;
    request("BindShortcuts", {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(list), QString()}, {},
            [](uint, const QVariantMap&) {
                // The user may decline some or all; declined shortcuts never fire.
            });
}

void PortalShortcutBackend::closeSession()
{
    if (session_.isEmpty()) return;
    if (bus_.isConnected()) {
        QDBusMessage close = QDBusMessage::createMethodCall(portalService, session_, sessionInterface, "Close");
        bus_.asyncCall(close);
    }
    session_.clear();
}

void PortalShortcutBackend::onActivated(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 || session_.isEmpty() || !wanted_) return;
    if (handleOf(arguments.at(0)) != session_) return;
    const QString id = arguments.at(1).toString();
    for (const GlobalShortcut& shortcut : shortcuts_) {
        if (portalID(shortcut) == id) {
            emit activated(shortcut.id);
            return;
        }
    }
}

void PortalShortcutBackend::onSessionClosed(const QDBusMessage& message)
{
    // The portal ended our session (the user revoked it): the shortcuts are gone.
    if (!session_.isEmpty() && message.path() == session_) session_.clear();
}

}  // namespace quorel

#include "PortalShortcutBackend.moc"
