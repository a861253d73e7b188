#pragma once

#include "CpuFeatures.h"

#include <cstdint>

namespace quorel {

// The drive's transfer curve for one render call: up to 6 dB of gain in front of a soft clipper
// that is linear up to a knee and bends with a tanh towards the ceiling above it.
//   v = s * gain / ceiling; above the knee t: |v| = t + (1 - t) * tanh((|v| - t) / (1 - t));
//   s = v * ceiling.
struct DriveCurve {
    float amount = 0;   // 0...1
    float ceiling = 1;  // linear, 0.1...1
    float gain = 1;     // 10^(6 * amount / 20)
    float knee = 1;     // 1 - 0.5 * amount

    // Clamps amount to 0...1 and the ceiling to 0.1...1 and derives gain and knee.
    static DriveCurve make(float amount, float ceiling);

    // Shapes `count` samples in place and returns the largest driven magnitude |v| seen. With
    // amount 0 the samples are left as they are and 0 is returned. The tanh is evaluated only in
    // blocks where some sample is above the knee.
    float shape(float* samples, uint32_t count) const;
    // The same in a given form (one that kernelFormAvailable allows).
    float shape(KernelForm form, float* samples, uint32_t count) const;

    // The curve for one sample, in plain scalar form (reference for the block form).
    float shapeSample(float sample) const;
};

// tanh for arguments >= 0 (negative ones are treated as 0), accurate to about 3e-7 absolute,
// built from an exponential that vectorises.
float driveTanh(float x);

}  // namespace quorel
