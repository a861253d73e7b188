#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace quorel::jsonFloat {

// Reading and writing 32-bit floats in JSON records.
//
// A finite float is written as the double of the same value, which Qt prints in its shortest
// exact form, so it reads back bit for bit. JSON has no NaN or infinity: Qt writes them as null.
// Where a key is optional, null counts as absent; anywhere else null is not a number.
// A value that is not a number (null included), or a number beyond the float range, throws
// std::runtime_error.

QJsonValue encode(float value);

// `value` as a float; `name` names it in the error message.
float decode(const QJsonValue& value, const QString& name);

// The key when present and not null, else none.
std::optional<float> decodeOptional(const QJsonObject& object, const QString& key);

// The key, which must be present and hold a number.
float decodeRequired(const QJsonObject& object, const QString& key);

}  // namespace quorel::jsonFloat
