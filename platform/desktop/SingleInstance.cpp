#include "SingleInstance.h"

#include "ApplicationAdaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QtGlobal>

#include <cstdio>

namespace quorel {

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    if (role_ == Role::Primary && bus_.isConnected()) bus_.unregisterService(serviceName);
    if (objectRegistered_) bus_.unregisterObject(objectPath);
}

SingleInstance::Role SingleInstance::claim()
{
    if (role_ != Role::Undecided) return role_;
    if (!bus_.isConnected() || !bus_.interface()) {
        qWarning("No session bus: Quorel runs without handing URLs from later launches to this one.");
        role_ = Role::Alone;
        return role_;
    }
    // Serve before owning the name, so a call that comes right after finds the object.
    objectRegistered_ = bus_.registerObject(objectPath, this, QDBusConnection::ExportAdaptors);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus_.interface()->registerService(
        serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        role_ = Role::Primary;
        return role_;
    }
    if (objectRegistered_) {
        bus_.unregisterObject(objectPath);
        objectRegistered_ = false;
    }
    if (!reply.isValid()) {
        qWarning(
            "The session bus did not answer (%s): Quorel runs without handing URLs from later launches to this one.",
            qPrintable(reply.error().message()));
        role_ = Role::Alone;
        return role_;
    }
    role_ = Role::Secondary;
    return role_;
}

bool SingleInstance::handOff(const QStringList& uris, int timeoutMS)
{
    error_.clear();
    if (!bus_.isConnected()) {
        error_ = QStringLiteral("no session bus");
        return false;
    }
    QVariantMap platformData;
    for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QString value = qEnvironmentVariable(variable);
        if (value.isEmpty()) continue;
        platformData.insert(
            variable == QByteArrayView("XDG_ACTIVATION_TOKEN") ? "activation-token" : "desktop-startup-id", value);
    }
    QDBusMessage call;
    if (uris.isEmpty()) {
        call = QDBusMessage::createMethodCall(serviceName, objectPath, "org.freedesktop.Application", "Activate");
        call << platformData;
    } else {
        call = QDBusMessage::createMethodCall(serviceName, objectPath, "org.freedesktop.Application", "Open");
        call << uris << platformData;
    }
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMS);
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
    error_ = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return false;
}

QStringList SingleInstance::urisFromArguments(const QStringList& arguments, const QString& workingFolder)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    const QDir folder(workingFolder);
    QStringList uris;
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        const bool isPath = argument.startsWith('/') || !scheme.match(argument).hasMatch()
                            || QFileInfo::exists(folder.absoluteFilePath(argument));
        if (isPath) {
            uris
                << QUrl::fromLocalFile(QDir::cleanPath(folder.absoluteFilePath(argument))).toString(QUrl::FullyEncoded);
        } else {
            uris << argument;
        }
    }
    return uris;
}

void SingleInstance::open(const QStringList& uris, const QVariantMap&)
{
    if (uris.isEmpty()) {
        emit activateRequested();
    } else if (uris.size() > maximumOpenedURIs) {
        const QByteArray note =
            QStringLiteral("Quorel: %1 URLs were handed over at once; only the first %2 are opened.\n")
                .arg(uris.size())
                .arg(maximumOpenedURIs)
                .toUtf8();
        std::fputs(note.constData(), stderr);
        emit openRequested(uris.mid(0, maximumOpenedURIs));
    } else {
        emit openRequested(uris);
    }
}

void SingleInstance::activate(const QVariantMap&) { emit activateRequested(); }

}  // namespace quorel
