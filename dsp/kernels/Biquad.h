#pragma once

namespace quorel {

// A second-order section in transposed direct form II, 32-bit floats, a0 = 1.
struct Biquad {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float z1 = 0, z2 = 0;

    float process(float in) noexcept
    {
        const float out = b0 * in + z1;
        z1 = b1 * in - a1 * out + z2;
        z2 = b2 * in - a2 * out;
        return out;
    }

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

    void clear() noexcept { z1 = z2 = 0; }
};

}  // namespace quorel
