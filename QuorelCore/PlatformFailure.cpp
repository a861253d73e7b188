#include "PlatformFailure.h"

namespace quorel {

AudioFailure platformFailure(const UnitError& error)
{
    const char* domain = error.domain == UnitError::Domain::posix ? "POSIX" : "OSStatus";
    return AudioFailure::message(QStringLiteral("The operation couldn’t be completed. (%1 error %2.)")
                                     .arg(QLatin1String(domain))
                                     .arg(error.code));
}

AudioFailure platformFailure(Status status) { return platformFailure(UnitError::osStatus(status)); }

}  // namespace quorel
