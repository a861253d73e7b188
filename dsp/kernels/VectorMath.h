#pragma once

#include <cstdint>
#include <cstring>

namespace quorel::vectormath {

// The four-lane vectors every kernel works in, their helpers, and (below) a base-2 logarithm and
// an exponential for the dynamics' gain computation. Every helper is always inlined, so it may be
// called from a kernel compiled for wider instructions.
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
[[gnu::always_inline]] inline Float4 absolute(Float4 v) { return v < 0 ? -v : v; }

[[gnu::always_inline]] inline float largestLane(Float4 v)
{
    const float a = v[0] > v[1] ? v[0] : v[1];
    const float b = v[2] > v[3] ? v[2] : v[3];
    return a > b ? a : b;
}

// The logarithm and the exponential are accurate to a few parts in 10^7 (about 3e-6 dB), so a
// gain curve worked through them stays within a thousandth of a dB of one worked through the C
// library's. They work on any GCC vector of floats (4, 8 or 16 lanes), in place: a vector
// wider than the baseline's registers is then never passed by value to a function built without
// the instructions for it. Lane by lane, so each lane's result does not depend on the others.
template <typename V>
using IntsOf = decltype(V{} < V{});

// log2(x) for positive normal x: x = m 2^e with m in [sqrt(1/2), sqrt(2)), and
// ln m = 2 atanh(t), t = (m - 1) / (m + 1), by its series to t^9 (|t| < 0.172).
template <typename V>
[[gnu::always_inline]] inline void logarithm2(V& x)
{
    using I = IntsOf<V>;
    I bits;
    std::memcpy(&bits, &x, sizeof bits);
    I exponent = ((bits >> 23) & 0xff) - 127;
    const I mantissaBits = (bits & 0x007fffff) | 0x3f800000;
    V m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    const I high = m > 1.41421356f;  // -1 where true
    m = high ? m * 0.5f : m;
    exponent -= high;
    const V t = (m - 1.0f) / (m + 1.0f);
    const V t2 = t * t;
    V p = V{} + 2.0f / 9;
    p = p * t2 + 2.0f / 7;
    p = p * t2 + 2.0f / 5;
    p = p * t2 + 2.0f / 3;
    p = p * t2 + 2.0f;
    x = __builtin_convertvector(exponent, V) + (p * t) * 1.44269504f;
}

// e^x, the argument limited to -87...88: x = k ln2 + r with |r| <= ln2 / 2, e^r by its Taylor
// series to r^7, 2^k built in the exponent bits.
template <typename V>
[[gnu::always_inline]] inline void exponential(V& x)
{
    using I = IntsOf<V>;
    x = x < 88.0f ? x : V{} + 88.0f;
    x = x > -87.0f ? x : V{} - 87.0f;
    const V shifter = V{} + 12582912.0f;  // 1.5 * 2^23: adding it rounds to an integer
    V k = x * 1.44269504f + shifter;
    k -= shifter;
    const V r = (x - k * 0.693359375f) - k * -2.12194440e-4f;
    V p = V{} + 1.0f / 5040;
    p = p * r + 1.0f / 720;
    p = p * r + 1.0f / 120;
    p = p * r + 1.0f / 24;
    p = p * r + 1.0f / 6;
    p = p * r + 0.5f;
    p = p * r + 1.0f;
    p = p * r + 1.0f;
    const I exponent = (__builtin_convertvector(k, I) + 127) << 23;
    V scale;
    std::memcpy(&scale, &exponent, sizeof scale);
    x = p * scale;
}

[[gnu::always_inline]] inline Float4 log2(Float4 x)
{
    logarithm2(x);
    return x;
}

[[gnu::always_inline]] inline Float4 exp(Float4 x)
{
    exponential(x);
    return x;
}

}  // namespace quorel::vectormath
