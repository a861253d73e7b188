#pragma once

#include <cstdint>

namespace quorel {

using FourCharCode = uint32_t;

// 'abcd' as a big-endian number, first character most significant: how audio components are
// keyed, and how the sound server's selectors, scopes and statuses are named.
constexpr FourCharCode fourCharCode(const char (&code)[5])
{
    return (FourCharCode(uint8_t(code[0])) << 24) | (FourCharCode(uint8_t(code[1])) << 16)
           | (FourCharCode(uint8_t(code[2])) << 8) | FourCharCode(uint8_t(code[3]));
}

}  // namespace quorel
