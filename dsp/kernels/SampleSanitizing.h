#pragma once

#include "CpuFeatures.h"

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

inline float sanitizedSample(float sample) noexcept { return isInvalidSample(sample) ? 0.0f : sample; }

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

// Largest magnitude in a buffer of valid samples (valid samples have no not-a-number, so the
// vector maximum is the plain one).
float peakMagnitude(const float* samples, uint32_t count) noexcept;

// sanitizeSamples and peakMagnitude in one pass; returns the peak.
float sanitizeAndMeasure(float* samples, uint32_t count) noexcept;

// The same in a given form: portable, or 8 lanes where the processor has AVX2; both give the
// same samples and peaks. The two above use the form chosen when the library is loaded.
float peakMagnitude(KernelForm form, const float* samples, uint32_t count) noexcept;
float sanitizeAndMeasure(KernelForm form, float* samples, uint32_t count) noexcept;

}  // namespace quorel
