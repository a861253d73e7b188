#pragma once

#include <bit>
#include <cstdint>

namespace quorel {

// A sample whose exponent bits are all set (an infinity or a not-a-number) counts as 0. The
// test works on the bits, so it holds under any floating-point mode and vectorises.
inline constexpr uint32_t sampleExponentBits = 0x7f800000u;

inline bool isInvalidSample(float sample) noexcept
{
    return (std::bit_cast<uint32_t>(sample) & sampleExponentBits) == sampleExponentBits;
}

inline float sanitizedSample(float sample) noexcept
{
    return isInvalidSample(sample) ? 0.0f : sample;
}

// Replaces every invalid sample of the buffer by 0; returns how many there were.
inline uint32_t sanitizeSamples(float* samples, uint32_t count) noexcept
{
    uint32_t invalid = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const bool bad = isInvalidSample(samples[i]);
        invalid += bad ? 1u : 0u;
        samples[i] = bad ? 0.0f : samples[i];
    }
    return invalid;
}

namespace sampleVectors {
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

inline Float4 load(const float* p) noexcept
{
    Float4 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, Float4 v) noexcept { __builtin_memcpy(p, &v, sizeof v); }

inline float largestLane(Float4 v) noexcept
{
    const float a = v[0] > v[1] ? v[0] : v[1];
    const float b = v[2] > v[3] ? v[2] : v[3];
    return a > b ? a : b;
}
}  // namespace sampleVectors

// Largest magnitude in a buffer of valid samples, four at a time (valid samples have no
// not-a-number, so the vector maximum is the plain one).
inline float peakMagnitude(const float* samples, uint32_t count) noexcept
{
    using namespace sampleVectors;
    Float4 peak{};
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Float4 v = load(samples + i);
        const Float4 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestLane(peak);
    for (; i < count; ++i) {
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

// sanitizeSamples and peakMagnitude in one pass; returns the peak.
inline float sanitizeAndMeasure(float* samples, uint32_t count) noexcept
{
    using namespace sampleVectors;
    const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
    Float4 peak{};
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Int4 bits;
        __builtin_memcpy(&bits, samples + i, sizeof bits);
        bits = (bits & exponent) == exponent ? Int4{} : bits;
        __builtin_memcpy(samples + i, &bits, sizeof bits);
        Float4 v;
        __builtin_memcpy(&v, &bits, sizeof v);
        const Float4 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestLane(peak);
    for (; i < count; ++i) {
        samples[i] = sanitizedSample(samples[i]);
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

}  // namespace quorel
