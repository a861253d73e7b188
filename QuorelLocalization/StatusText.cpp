#include "StatusText.h"

#include <cstring>

namespace quorel {

QString statusText(uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    bool printable = true;
    for (char b : bytes) printable = printable && uint8_t(b) >= 0x20 && uint8_t(b) <= 0x7E;
    if (printable) return QLatin1Char('\'') + QString::fromLatin1(bytes, 4) + QLatin1Char('\'');
    if (const int32_t status = int32_t(value); status < 0 && status > -4096) {
        // strerrordesc_np: the C library's English words, the same on every thread and locale.
        if (const char* words = strerrordesc_np(-status))
            return QString::number(status) + QStringLiteral(" (") + QString::fromUtf8(words) + QLatin1Char(')');
        return QString::number(status);
    }
    return QString::number(value);
}

QString statusText(int32_t value) { return statusText(uint32_t(value)); }

}  // namespace quorel
