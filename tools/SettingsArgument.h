#pragma once

#include "DSPSettings.h"

#include <QString>

namespace quorel::tool {

// The value of a `--settings FILE|JSON` option: a DSPSettings object in the named file, or given
// inline when no such file exists, decoded leniently and sanitized as the stored settings are.
// Throws std::runtime_error with a message for an unreadable file, text that is not JSON, not
// an object, or a field of the wrong type.
DSPSettings settingsArgument(const QString& value);

}  // namespace quorel::tool
