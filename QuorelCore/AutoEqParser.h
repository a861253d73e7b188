#pragma once

#include "HeadphoneProfile.h"

#include <QString>

namespace quorel {

// Turns the text of an AutoEq "ParametricEQ" file into a new, sanitized imported profile
// ("import." + UUID) named `name`. Reads no file and touches no state. Throws an AudioFailure
// "No AutoEq filters found in this file." when no line gives a usable filter.
HeadphoneProfile parseAutoEQ(const QString& text, const QString& name);

}  // namespace quorel
