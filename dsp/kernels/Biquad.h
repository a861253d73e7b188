#pragma once

#include "BiquadCoefficients.h"

#include <cmath>

namespace quorel {

// The second-order section (a0 = 1, transposed direct form II) our filters run, for any sample
// type: float or double, alone or as a GCC vector whose lanes are channels or sections (the
// coefficients then the same in every lane that shares them). Two kernels add forms of their
// own for speed, each explained where it is written: the K-weighting's direct form I wavefront
// (KWeighting.cpp) and the equalizer's fused and single-section kernels (ParametricEqualizer.cpp).

// In the textbook order: the reference the K-weighting kernel and the equalizer's portable
// cascade must match, so they run it too.
template <typename T>
[[gnu::always_inline]] inline T biquadStep(T x, T b0, T b1, T b2, T a1, T a2, T& z1, T& z2)
{
    const T y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

// With the second memory added before the feedback: from one output to the next the section
// waits for one multiplication and two additions, not three. For the lanes of a kernel that no
// reference holds to the bit (the bass harmonics).
template <typename T>
[[gnu::always_inline]] inline T biquadStepShortChain(T x, T b0, T b1, T b2, T a1, T a2, T& z1, T& z2)
{
    const T y = b0 * x + z1;
    z1 = (b1 * x + z2) - a1 * y;
    z2 = b2 * x - a2 * y;
    return y;
}

// A denormal or non-finite double memory restarts from rest.
inline double flushedMemory(double v) { return std::isfinite(v) && std::fabs(v) >= 1e-30 ? v : 0.0; }

// One section in 32-bit floats: the K-weighting and the bass harmonics keep their memories in
// it, so a channel's state fits one lane of a four-float vector.
struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;

    float process(float in) noexcept { return biquadStep(in, b0, b1, b2, a1, a2, z1, z2); }

    // Coefficients as five doubles b0, b1, b2, a1, a2, rounded to float; memories cleared.
    void setCoefficients(const double* c) noexcept
    {
        b0 = float(c[0]);
        b1 = float(c[1]);
        b2 = float(c[2]);
        a1 = float(c[3]);
        a2 = float(c[4]);
        clear();
    }
    void setCoefficients(const BiquadCoefficients& c) noexcept
    {
        const double five[5] = {c.b0, c.b1, c.b2, c.a1, c.a2};
        setCoefficients(five);
    }

    void clear() noexcept { z1 = z2 = 0; }
};

}  // namespace quorel
