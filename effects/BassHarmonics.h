#pragma once

#include "Biquad.h"

#include <array>
#include <cstdint>

namespace quorel {

// The bass-harmonics generator of one channel: isolates the 30...110 Hz band, follows its
// envelope, normalizes the band to unit amplitude, makes the second, third and fourth harmonics
// with Chebyshev polynomials, restores the envelope, band-limits the result to about 90...500 Hz
// and adds it to the dry signal.
class BassHarmonics {
public:
    // Below this amount nothing is added (the filters and the envelope keep running, so raising
    // the amount again starts without an envelope transient).
    static constexpr float audibleAmount = 0.05f;

    // Cookbook high-pass and low-pass sections as b0, b1, b2, a1, a2 (a0 = 1), designed in
    // double; the frequency is first limited to 0.45 of the sample rate.
    static std::array<double, 5> highPass(double frequency, double q, double sampleRate);
    static std::array<double, 5> lowPass(double frequency, double q, double sampleRate);
    // Magnitude of a section's response at a frequency.
    static double magnitude(const Biquad& section, double frequency, double sampleRate);

    // Designs the filters and the envelope times for the sample rate; clears the signal state.
    void prepare(double sampleRate);
    // Clears the filter memories and the envelope.
    void reset() noexcept;

    // Processes `frames` samples in place (not-finite ones count as 0) with an amount of 0...1;
    // returns the peak absolute output sample.
    float process(float* samples, uint32_t frames, float amount) noexcept;

    Biquad bandHigh, bandLow, harmonicHigh1, harmonicHigh2, harmonicLow;
    float envelope = 0;
    float attackCoefficient = 1;   // 3 ms
    float releaseCoefficient = 1;  // 60 ms
};

}  // namespace quorel
