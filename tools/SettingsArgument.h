#pragma once

#include "DSPSettings.h"

#include <QString>

namespace quorel::tool {

// The value of `--settings FILE|JSON`: a DSPSettings JSON object given inline or in a file
// (a regular file of at most 1 MiB), decoded leniently and sanitized. Text that is not JSON,
// not an object, or a field of the wrong type throws std::runtime_error with the reason.
DSPSettings settingsArgument(const QString& value);

}  // namespace quorel::tool
