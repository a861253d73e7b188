#include "ShortestDecimal.h"

#include <charconv>
#include <cmath>

namespace quorel {

namespace {

template <typename T>
QString format(T value)
{
    if (std::isnan(value)) return QStringLiteral("nan");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    QString out = QString::fromLatin1(text, int(result.ptr - text));
    if (!out.contains(QLatin1Char('.')) && !out.contains(QLatin1Char('e'))) out += QStringLiteral(".0");
    return out;
}

}  // namespace

QString shortestDecimal(float value) { return format(value); }
QString shortestDecimal(double value) { return format(value); }

}  // namespace quorel
