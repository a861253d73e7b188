#pragma once

#include <cstdint>

namespace quorel {

// The bass-harmonics generator of one channel: isolates the 30...110 Hz band, follows its
// envelope, normalizes the band to unit amplitude, makes the second, third and fourth harmonics
// with Chebyshev polynomials, restores the envelope, band-limits the result to about 90...500 Hz
// and adds it to the dry signal.
class BassHarmonics {
public:
    // One second-order section (a0 = 1), transposed direct form II.
    struct Section {
        float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float z1 = 0, z2 = 0;

        static Section highPass(double frequency, double q, double sampleRate);
        static Section lowPass(double frequency, double q, double sampleRate);

        float process(float x)
        {
            const float y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }

        // Magnitude of the section's response at a frequency.
        double magnitude(double frequency, double sampleRate) const;
    };

    // Below this amount the unit adds nothing (its filters and envelope keep running).
    static constexpr float audibleAmount = 0.05f;

    // Designs the filters and the envelope times for the sample rate; clears the signal state.
    void prepare(double sampleRate);
    void reset();

    // Processes `frames` samples in place (not-finite ones count as 0) with an amount of 0...1;
    // returns the peak absolute output sample.
    float process(float* samples, uint32_t frames, float amount);

    Section bandHigh, bandLow, harmonicHigh1, harmonicHigh2, harmonicLow;
    float envelope = 0;
    float attackCoefficient = 1;
    float releaseCoefficient = 1;
};

}  // namespace quorel
