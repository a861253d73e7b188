#pragma once

#include <cstdint>

namespace quorel {

using FourCharCode = uint32_t;

// 'abcd' as the big-endian number audio components are keyed by.
constexpr FourCharCode fourCharCode(const char (&code)[5])
{
    return (FourCharCode(uint8_t(code[0])) << 24) | (FourCharCode(uint8_t(code[1])) << 16)
        | (FourCharCode(uint8_t(code[2])) << 8) | FourCharCode(uint8_t(code[3]));
}

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
