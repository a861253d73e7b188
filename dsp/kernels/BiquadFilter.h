#pragma once

#include "Biquad.h"
#include "BiquadCoefficients.h"

#include <cstdint>

namespace quorel {

// The section of Biquad.h for up to two channels in double precision: the crossovers' poles at
// low frequencies need it, and the equalizer's cascade is held to it. Render-thread state;
// flushes denormal memories after every block.
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
        for (uint32_t i = 0; i < frames; ++i) out[i] = float(biquadStep(double(in[i]), b0, b1, b2, a1, a2, s1, s2));
        s1_[channel] = flushedMemory(s1);
        s2_[channel] = flushedMemory(s2);
    }

private:
    BiquadCoefficients c_;
    double s1_[2] = {0, 0};
    double s2_[2] = {0, 0};
};

}  // namespace quorel
