#include "JsonFloat.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace quorel::jsonFloat {

QJsonValue encode(float value) { return QJsonValue(double(value)); }

float decode(const QJsonValue& value, const QString& name)
{
    if (!value.isDouble()) throw std::runtime_error(QStringLiteral("\"%1\" is not a number").arg(name).toStdString());
    const double number = value.toDouble();
    if (!(std::fabs(number) <= double(std::numeric_limits<float>::max())))
        throw std::runtime_error(QStringLiteral("\"%1\" does not fit a Float").arg(name).toStdString());
    return float(number);
}

std::optional<float> decodeOptional(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    return decode(value, key);
}

float decodeRequired(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) throw std::runtime_error(QStringLiteral("\"%1\" is missing").arg(key).toStdString());
    return decode(value, key);
}

}  // namespace quorel::jsonFloat
