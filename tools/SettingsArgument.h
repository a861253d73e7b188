#pragma once

#include "DSPSettings.h"

#include <QString>

namespace quorel::tool {

// The value of a `--settings FILE|JSON` option: a DSPSettings object given inline (text that
// starts with "{") or in a file, decoded leniently and sanitized as the stored settings are.
// Throws std::runtime_error with a message for an unreadable file, text that is not JSON, not
// an object, or a field of the wrong type.
DSPSettings settingsArgument(const QString& value);

}  // namespace quorel::tool
