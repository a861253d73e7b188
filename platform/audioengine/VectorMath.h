#pragma once

#include <cstdint>
#include <cstring>

namespace quorel::vectormath {

// Four floats at a time, for the dynamics' gain computation: a base-2 logarithm and an
// exponential accurate to a few parts in 10^7 (about 3e-6 dB), so a gain curve worked
// through them stays within a thousandth of a dB of one worked through the C library's.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline Float4 load(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline Float4 splat(float x) { return Float4{} + x; }

[[gnu::always_inline]] inline Float4 minimum(Float4 a, Float4 b) { return a < b ? a : b; }
[[gnu::always_inline]] inline Float4 maximum(Float4 a, Float4 b) { return a > b ? a : b; }

// log2(x) for positive normal x: x = m 2^e with m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh(t), t = (m - 1) / (m + 1), by its series to t^9 (|t| < 0.172).
[[gnu::always_inline]] inline Float4 log2(Float4 x)
{
    Int4 bits;
    std::memcpy(&bits, &x, sizeof bits);
    Int4 exponent = ((bits >> 23) & 0xff) - 127;
    const Int4 mantissaBits = (bits & 0x007fffff) | 0x3f800000;
    Float4 m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    const Int4 high = m > 1.41421356f;  // -1 where true
    m = high ? m * 0.5f : m;
    exponent -= high;
    const Float4 t = (m - 1.0f) / (m + 1.0f);
    const Float4 t2 = t * t;
    Float4 p = splat(2.0f / 9);
    p = p * t2 + 2.0f / 7;
    p = p * t2 + 2.0f / 5;
    p = p * t2 + 2.0f / 3;
    p = p * t2 + 2.0f;
    return __builtin_convertvector(exponent, Float4) + (p * t) * 1.44269504f;
}

// e^x, the argument limited to -87...88: x = k ln2 + r with |r| <= ln2 / 2, e^r by its Taylor
// series to r^7, 2^k built in the exponent bits.
[[gnu::always_inline]] inline Float4 exp(Float4 x)
{
    x = maximum(minimum(x, splat(88.0f)), splat(-87.0f));
    const Float4 shifter = splat(12582912.0f);  // 1.5 * 2^23: adding it rounds to an integer
    Float4 k = x * 1.44269504f + shifter;
    k -= shifter;
    const Float4 r = (x - k * 0.693359375f) - k * -2.12194440e-4f;
    Float4 p = splat(1.0f / 5040);
    p = p * r + 1.0f / 720;
    p = p * r + 1.0f / 120;
    p = p * r + 1.0f / 24;
    p = p * r + 1.0f / 6;
    p = p * r + 0.5f;
    p = p * r + 1.0f;
    p = p * r + 1.0f;
    const Int4 exponent = (__builtin_convertvector(k, Int4) + 127) << 23;
    Float4 scale;
    std::memcpy(&scale, &exponent, sizeof scale);
    return p * scale;
}

}  // namespace quorel::vectormath
