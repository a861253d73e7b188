#pragma once

#include <cstdint>

namespace quorel {

// The low-pass of the drive's oversampling: 129 taps of a sinc cut off at the original Nyquist
// frequency, shaped by a Kaiser window (beta 6) and normalized to unity gain at 0 Hz. The same
// filter interpolates after zero stuffing and filters before decimation.
class OversamplingFilter {
public:
    static constexpr uint32_t taps = 129;

    // 4 below 64 kHz, 2 below 128 kHz, else 1 (no oversampling).
    static uint32_t factorForSampleRate(double sampleRate);

    // Modified Bessel function of the first kind, order 0 (power series).
    static double besselI0(double x);

    // Writes the coefficients for `factor` (2 or 4): `taps` floats. Factor 1 writes the single
    // coefficient 1.
    static void design(uint32_t factor, float* coefficients);

    // Magnitude of a FIR at a frequency given in cycles per sample (0...0.5).
    static double magnitude(const float* coefficients, uint32_t count, double cyclesPerSample);
};

}  // namespace quorel
