#pragma once

#include <QString>

namespace quorel {

// The shortest decimal text that reads back as exactly the same value, in the C locale; whole
// numbers keep one decimal (40.0, -0.0, 1e+20 stays as it is); "inf", "-inf", "nan".
QString shortestDecimal(float value);
QString shortestDecimal(double value);

}  // namespace quorel
