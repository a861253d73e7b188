#include "DriveCurve.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

inline Float4 splat(float x) { return Float4{x, x, x, x}; }

inline Float4 load(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

inline Float4 absolute(Float4 v)
{
    Int4 bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline Float4 maximum(Float4 a, Float4 b) { return a > b ? a : b; }
inline Float4 minimum(Float4 a, Float4 b) { return a < b ? a : b; }

// e^x for x <= 0: x = k ln2 + r with |r| <= ln2 / 2, e^r by its Taylor series to r^7 (error
// below 1e-8 relative), 2^k by building the exponent. Arguments below -87 give e^-87.
inline Float4 exponentialNegative(Float4 x)
{
    x = maximum(minimum(x, splat(0.0f)), splat(-87.0f));
    const Float4 shifter = splat(12582912.0f);  // 1.5 * 2^23: adding it rounds to an integer
    Float4 k = x * splat(1.44269504f) + shifter;
    k -= shifter;
    const Float4 r = (x - k * splat(0.693359375f)) - k * splat(-2.12194440e-4f);
    Float4 p = splat(1.0f / 5040);
    p = p * r + splat(1.0f / 720);
    p = p * r + splat(1.0f / 120);
    p = p * r + splat(1.0f / 24);
    p = p * r + splat(1.0f / 6);
    p = p * r + splat(0.5f);
    p = p * r + splat(1.0f);
    p = p * r + splat(1.0f);
    const Int4 exponent = (__builtin_convertvector(k, Int4) + 127) << 23;
    Float4 scale;
    std::memcpy(&scale, &exponent, sizeof scale);
    return p * scale;
}

inline Float4 tanhPositive(Float4 x)
{
    const Float4 e = exponentialNegative(x * splat(-2.0f));
    return (splat(1.0f) - e) / (splat(1.0f) + e);
}

// Above the knee: |v| -> t + (1 - t) tanh((|v| - t) / (1 - t)), sign kept.
inline Float4 bend(Float4 v, Float4 knee, Float4 span, Float4 inverseSpan)
{
    const Float4 magnitude = absolute(v);
    const Float4 bent = knee + span * tanhPositive((magnitude - knee) * inverseSpan);
    const Float4 shaped = magnitude > knee ? bent : magnitude;
    return v < 0 ? -shaped : shaped;
}

}  // namespace

float driveTanh(float x) { return tanhPositive(splat(x))[0]; }

DriveCurve DriveCurve::make(float amount, float ceiling)
{
    DriveCurve curve;
    curve.amount = std::clamp(amount, 0.0f, 1.0f);
    curve.ceiling = std::clamp(ceiling, 0.1f, 1.0f);
    curve.gain = std::pow(10.0f, 6 * curve.amount / 20);
    curve.knee = 1 - 0.5f * curve.amount;
    return curve;
}

float DriveCurve::shapeSample(float sample) const
{
    if (amount <= 0)
        return sample;
    float v = sample * gain / ceiling;
    const float magnitude = std::fabs(v);
    if (magnitude > knee) {
        const float span = 1 - knee;
        v = std::copysign(knee + span * std::tanh((magnitude - knee) / span), v);
    }
    return v * ceiling;
}

float DriveCurve::shape(float* samples, uint32_t count) const
{
    if (amount <= 0)
        return 0;
    const float drive = gain / ceiling;
    uint32_t whole = count & ~3u;
    // Pass 1: drive and track the largest magnitude.
    Float4 largest = splat(0.0f);
    for (uint32_t i = 0; i < whole; i += 4) {
        const Float4 v = load(samples + i) * drive;
        largest = maximum(largest, absolute(v));
        store(samples + i, v);
    }
    float peak = std::max(std::max(largest[0], largest[1]), std::max(largest[2], largest[3]));
    for (uint32_t i = whole; i < count; ++i) {
        samples[i] *= drive;
        peak = std::max(peak, std::fabs(samples[i]));
    }
    // Pass 2: bend what lies above the knee (only when something does), back to the ceiling scale.
    if (peak > knee) {
        const Float4 t = splat(knee), span = splat(1 - knee), inverseSpan = splat(1 / (1 - knee));
        for (uint32_t i = 0; i < whole; i += 4)
            store(samples + i, bend(load(samples + i), t, span, inverseSpan) * ceiling);
        if (whole < count) {
            float tail[4] = {0, 0, 0, 0};
            std::memcpy(tail, samples + whole, (count - whole) * sizeof(float));
            store(tail, bend(load(tail), t, span, inverseSpan) * ceiling);
            std::memcpy(samples + whole, tail, (count - whole) * sizeof(float));
        }
    } else {
        for (uint32_t i = 0; i < count; ++i)
            samples[i] *= ceiling;
    }
    return peak;
}

}  // namespace quorel
