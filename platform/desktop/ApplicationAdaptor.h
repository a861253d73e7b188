#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace quorel {

class SingleInstance;

// org.freedesktop.Application on the single instance's object: Open and Activate reach the
// running instance; ActivateAction is accepted and does nothing (we export no actions).
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(SingleInstance* instance);
    ~ApplicationAdaptor() override;

public slots:
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void Activate(const QVariantMap& platformData);
    void ActivateAction(const QString& name, const QVariantList& parameter, const QVariantMap& platformData);

private:
    SingleInstance* instance_;
};

}  // namespace quorel
