#include "SleepMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace quorel {

namespace {
const QString service = QStringLiteral("org.freedesktop.login1");
const QString path = QStringLiteral("/org/freedesktop/login1");
const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
}  // namespace

SleepMonitor::SleepMonitor(QObject* parent) : SleepMonitor(QDBusConnection::systemBus(), parent) {}

SleepMonitor::SleepMonitor(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    if (!bus_.isConnected()) return;
    available_ =
        bus_.connect(service, path, manager, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (available_) takeInhibitor();
}

SleepMonitor::~SleepMonitor()
{
    if (available_)
        bus_.disconnect(service, path, manager, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void SleepMonitor::allowSleep() { inhibitor_ = QDBusUnixFileDescriptor(); }

void SleepMonitor::prepareForSleep(bool sleeping)
{
    if (sleeping == sleeping_) return;
    sleeping_ = sleeping;
    if (sleeping) {
        emit aboutToSleep();
    } else {
        takeInhibitor();
        emit resumed();
    }
}

// Asked for without waiting: logind answers with the file descriptor that holds the delay.
void SleepMonitor::takeInhibitor()
{
    if (inhibitor_.isValid()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, manager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Quorel")
         << QStringLiteral("Gives the default output back before sleep") << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *done;
        // A reply that comes in after the system began to sleep would hold up nothing useful.
        if (reply.isError() || sleeping_) return;
        inhibitor_ = reply.value();
        if (inhibitor_.isValid()) emit inhibitorTaken();
    });
}

}  // namespace quorel
