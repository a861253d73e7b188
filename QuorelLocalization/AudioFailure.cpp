#include "AudioFailure.h"

namespace quorel {

AudioFailure AudioFailure::message(const QString& text)
{
    AudioFailure failure;
    failure.plain_ = text;
    return failure;
}

AudioFailure AudioFailure::localized(const LocalizedMessage& message)
{
    AudioFailure failure;
    failure.localized_ = message;
    return failure;
}

QString AudioFailure::description() const
{
    if (localized_) return localized_->text();
    return plain_.value_or(QString());
}

std::shared_ptr<const DescribedError> AudioFailure::clone() const { return std::make_shared<AudioFailure>(*this); }

}  // namespace quorel
