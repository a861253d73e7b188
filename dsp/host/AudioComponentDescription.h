#pragma once

#include "FourCharCode.h"

#include <cstdint>

namespace quorel {

// Identity of a registered unit: type ('aufx' for an effect), subtype and manufacturer.
struct AudioComponentDescription {
    FourCharCode componentType = 0;
    FourCharCode componentSubType = 0;
    FourCharCode componentManufacturer = 0;
    uint32_t componentFlags = 0;
    uint32_t componentFlagsMask = 0;

    bool operator==(const AudioComponentDescription&) const = default;
};

inline constexpr FourCharCode effectComponentType = fourCharCode("aufx");

}  // namespace quorel
