#pragma once

#include "Biquad.h"
#include "CpuFeatures.h"

#include <array>
#include <cstdint>

namespace quorel {

// The bass-harmonics generator for up to two channels: isolates the 30...110 Hz band, follows
// its envelope, normalizes the band to unit amplitude, makes the second, third and fourth
// harmonics with Chebyshev polynomials, restores the envelope, band-limits the result to about
// 90...500 Hz and adds it to the dry signal. Both channels run side by side in the lanes of one
// vector, so a stereo frame costs about what a mono sample would.
class BassHarmonics {
public:
    // Below this amount nothing is added (the harmonics' gain is 0.9 x amount from it on). The
    // filters and the envelope keep following the signal either way, so raising the amount
    // again starts without a transient of the envelope.
    static constexpr float audibleAmount = 0.05f;

    // The signal state of one channel: five sections (a0 = 1, transposed direct form II) and
    // the band's envelope.
    struct Channel {
        Biquad bandHigh, bandLow, harmonicHigh1, harmonicHigh2, harmonicLow;
        float envelope = 0;
    };

    // BiquadCoefficients' high-pass and low-pass sections as b0, b1, b2, a1, a2 (a0 = 1); the
    // frequency is first limited to 0.45 of the sample rate.
    static std::array<double, 5> highPass(double frequency, double q, double sampleRate);
    static std::array<double, 5> lowPass(double frequency, double q, double sampleRate);
    // Magnitude of a section's response at a frequency.
    static double magnitude(const Biquad& section, double frequency, double sampleRate);

    // Designs the filters of both channels and the envelope times for the rate; clears the state.
    void prepare(double sampleRate);
    // Clears the filter memories and the envelopes.
    void reset() noexcept;

    // Processes `frames` samples of `channels` (1 or 2) buffers in place (not-finite samples count
    // as 0) with an amount of 0...1; returns the peak absolute output sample.
    float process(float* const* data, uint32_t channels, uint32_t frames, float amount) noexcept;
    // The same in a given form (one that kernelFormAvailable allows).
    float process(KernelForm form, float* const* data, uint32_t channels, uint32_t frames, float amount) noexcept;

    float attackCoefficient = 1;   // 3 ms
    float releaseCoefficient = 1;  // 60 ms
    std::array<Channel, 2> channel;
};

}  // namespace quorel
