#pragma once

#include "BiquadCoefficients.h"

#include <cmath>
#include <cstdint>

namespace quorel {

// A second-order section in transposed direct form II for up to two channels, in double
// precision. Render-thread state; flushes denormal memories after every block.
class BiquadFilter {
public:
    void setCoefficients(const BiquadCoefficients& c) { c_ = c; }
    const BiquadCoefficients& coefficients() const { return c_; }
    void reset() { s1_[0] = s2_[0] = s1_[1] = s2_[1] = 0; }

    // In place over one channel.
    void process(float* data, uint32_t frames, uint32_t channel) { process(data, data, frames, channel); }

    // From one buffer into another (in and out may be the same).
    void process(const float* in, float* out, uint32_t frames, uint32_t channel)
    {
        double s1 = s1_[channel], s2 = s2_[channel];
        const double b0 = c_.b0, b1 = c_.b1, b2 = c_.b2, a1 = c_.a1, a2 = c_.a2;
        for (uint32_t i = 0; i < frames; ++i) {
            const double x = in[i];
            const double y = b0 * x + s1;
            s1 = b1 * x - a1 * y + s2;
            s2 = b2 * x - a2 * y;
            out[i] = float(y);
        }
        s1_[channel] = flushed(s1);
        s2_[channel] = flushed(s2);
    }

private:
    // Denormal or non-finite memories restart from rest.
    static double flushed(double v) { return std::isfinite(v) && std::fabs(v) >= 1e-30 ? v : 0.0; }

    BiquadCoefficients c_;
    double s1_[2] = {0, 0};
    double s2_[2] = {0, 0};
};

}  // namespace quorel
