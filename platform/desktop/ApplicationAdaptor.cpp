#include "ApplicationAdaptor.h"

#include "SingleInstance.h"

namespace quorel {

ApplicationAdaptor::ApplicationAdaptor(SingleInstance* instance) : QDBusAbstractAdaptor(instance), instance_(instance)
{
}

ApplicationAdaptor::~ApplicationAdaptor() = default;

void ApplicationAdaptor::Open(const QStringList& uris, const QVariantMap& platformData)
{
    instance_->open(uris, platformData);
}

void ApplicationAdaptor::Activate(const QVariantMap& platformData) { instance_->activate(platformData); }

void ApplicationAdaptor::ActivateAction(const QString&, const QVariantList&, const QVariantMap&) {}

}  // namespace quorel
