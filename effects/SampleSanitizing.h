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

// Largest magnitude in a buffer of valid samples. Compares the magnitudes' bit patterns (as
// non-negative 32-bit integers), which order like the values for finite floats, so the loop
// vectorises without fast-math.
inline float peakMagnitude(const float* samples, uint32_t count) noexcept
{
    int32_t peak = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t magnitude = std::bit_cast<int32_t>(samples[i]) & 0x7fffffff;
        peak = magnitude > peak ? magnitude : peak;
    }
    return std::bit_cast<float>(peak);
}

}  // namespace quorel
