#include "PlatformFailure.h"

namespace quorel {

LocalizedMessage platformFailureMessage(const UnitError& error)
{
    const QString code = QString::number(error.code);
    if (error.domain == UnitError::Domain::posix)
        return LocalizedMessage::make(QStringLiteral("The operation could not be completed (POSIX error {0})."), code);
    return LocalizedMessage::make(QStringLiteral("The operation could not be completed (error {0})."), code);
}

AudioFailure platformFailure(const UnitError& error) { return AudioFailure::localized(platformFailureMessage(error)); }

AudioFailure platformFailure(Status status) { return platformFailure(UnitError::osStatus(status)); }

}  // namespace quorel
