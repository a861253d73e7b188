#include "ReduceMotion.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace quorel {

namespace {

const char* const portalService = "org.freedesktop.portal.Desktop";
const char* const portalPath = "/org/freedesktop/portal/desktop";
const char* const settingsInterface = "org.freedesktop.portal.Settings";
const char* const gnomeInterface = "org.gnome.desktop.interface";
const char* const animationsKey = "enable-animations";

// The portal's older Read wraps the value in a second variant; unwrap until a plain value.
QVariant unwrapped(QVariant value)
{
    for (int depth = 0; depth < 4; ++depth) {
        if (value.userType() == qMetaTypeId<QDBusVariant>()) {
            value = value.value<QDBusVariant>().variant();
        } else if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            const QDBusArgument argument = value.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType) break;
            QDBusVariant inner;
            argument >> inner;
            value = inner.variant();
        } else {
            break;
        }
    }
    return value;
}

}  // namespace

ReduceMotion::ReduceMotion(QObject* parent) : QObject(parent) {}

ReduceMotion& ReduceMotion::shared()
{
    static ReduceMotion* instance = new ReduceMotion();
    return *instance;
}

void ReduceMotion::set(bool reduce)
{
    if (reduce_ == reduce) return;
    reduce_ = reduce;
    emit changed(reduce_);
}

void ReduceMotion::takeAnimationsValue(const QVariant& value)
{
    const QVariant plain = unwrapped(value);
    if (plain.typeId() == QMetaType::Bool) set(!plain.toBool());
}

void ReduceMotion::watchPortal()
{
    if (watching_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    watching_ = true;
    bus.connect(portalService, portalPath, settingsInterface, "SettingChanged", this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));

    auto ask = [this, bus](const char* method) mutable {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, method);
        call << QString(gnomeInterface) << QString(animationsKey);
        return new QDBusPendingCallWatcher(bus.asyncCall(call, 2000), this);
    };
    QDBusPendingCallWatcher* readOne = ask("ReadOne");
    connect(readOne, &QDBusPendingCallWatcher::finished, this, [this, ask](QDBusPendingCallWatcher* watcher) mutable {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            takeAnimationsValue(reply.arguments().first());
            return;
        }
        // Portals before version 2 have only Read.
        QDBusPendingCallWatcher* read = ask("Read");
        connect(read, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* old) {
            old->deleteLater();
            const QDBusMessage answer = old->reply();
            if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty())
                takeAnimationsValue(answer.arguments().first());
        });
    });
}

void ReduceMotion::settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value)
{
    if (nameSpace == gnomeInterface && key == animationsKey) takeAnimationsValue(value.variant());
}

}  // namespace quorel
