#pragma once

#include <cstdint>

namespace quorel {

// Range of one parameter of any unit; status 0 when the range was read.
struct QRParameterBounds {
    float minimum;
    float maximum;
    uint32_t unit;
    int32_t status;
};

}  // namespace quorel
