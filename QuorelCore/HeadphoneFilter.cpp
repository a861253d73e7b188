#include "HeadphoneFilter.h"

#include "JsonFloat.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace quorel {

namespace {
float finiteOr(float value, float fallback, float low, float high)
{
    return std::isfinite(value) ? std::min(std::max(value, low), high) : fallback;
}
}  // namespace

QString HeadphoneFilter::rawValue(Kind kind)
{
    switch (kind) {
    case Kind::peak: return QStringLiteral("peak");
    case Kind::lowShelf: return QStringLiteral("lowShelf");
    case Kind::highShelf: return QStringLiteral("highShelf");
    }
    return QStringLiteral("peak");
}

std::optional<HeadphoneFilter::Kind> HeadphoneFilter::kindFromRawValue(const QString& raw)
{
    for (Kind kind : {Kind::peak, Kind::lowShelf, Kind::highShelf}) {
        if (rawValue(kind) == raw) return kind;
    }
    return std::nullopt;
}

float HeadphoneFilter::bandwidthOctaves() const
{
    // A NaN q counts as the smallest q, like any q below it.
    const double clampedQ = q >= 0.05f ? double(q) : 0.05;
    return float(2.0 * std::asinh(1.0 / (2.0 * clampedQ)) / std::log(2.0));
}

HeadphoneFilter HeadphoneFilter::sanitized() const
{
    HeadphoneFilter copy = *this;
    copy.frequency = finiteOr(frequency, 1000, 20, 20000);
    copy.gainDB = finiteOr(gainDB, 0, -20, 20);
    copy.q = finiteOr(q, 1, 0.1f, 20);
    return copy;
}

QJsonObject HeadphoneFilter::toJson() const
{
    return QJsonObject{{QStringLiteral("kind"), rawValue(kind)},
                       {QStringLiteral("frequency"), jsonFloat::encode(frequency)},
                       {QStringLiteral("gainDB"), jsonFloat::encode(gainDB)},
                       {QStringLiteral("q"), jsonFloat::encode(q)}};
}

HeadphoneFilter HeadphoneFilter::fromJson(const QJsonObject& object)
{
    const QJsonValue kindValue = object.value(QStringLiteral("kind"));
    if (!kindValue.isString()) throw std::runtime_error("\"kind\" is missing or not a string");
    const std::optional<Kind> kind = kindFromRawValue(kindValue.toString());
    if (!kind)
        throw std::runtime_error(QStringLiteral("\"%1\" is not a filter kind").arg(kindValue.toString()).toStdString());
    HeadphoneFilter filter;
    filter.kind = *kind;
    filter.frequency = jsonFloat::decodeRequired(object, QStringLiteral("frequency"));
    filter.gainDB = jsonFloat::decodeRequired(object, QStringLiteral("gainDB"));
    filter.q = jsonFloat::decodeRequired(object, QStringLiteral("q"));
    return filter;
}

}  // namespace quorel
