#include "AudioBackend.h"

namespace quorel {

bool AudioBackend::isOwnSink(const QString& uid)
{
    return uid.startsWith(QLatin1String("local.quorel.aggregate"))
        || uid.startsWith(QLatin1String("local.corvanta.aggregate"));
}

QString AudioBackend::describeStatus(uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    for (const char b : bytes)
        if (uint8_t(b) < 0x20 || uint8_t(b) > 0x7E) return QString::number(value);
    return QLatin1Char('\'') + QString::fromLatin1(bytes, 4) + QLatin1Char('\'');
}

}  // namespace quorel
