#pragma once

#include "CpuFeatures.h"

#include <cstdint>

namespace quorel {

// The two passes a utility unit makes over each channel, in a portable form and, where the
// processor has AVX2, an 8-lane form that computes the same values bit for bit (the squares
// summed in the same groups and order). Real-time safe.

// What the input stage found in one channel (the squares only when asked for).
struct InputMeasure {
    float peak = 0;
    uint32_t invalid = 0;
    double squares = 0;
};

// What the output stage measured of one channel.
struct OutputMeasure {
    float peak = 0;
    double squares = 0;
    uint32_t guarded = 0;
};

// The input stage of one channel in one pass: copies the samples to `copy` with every invalid
// one replaced by 0, counts those and measures the peak magnitude of the result. With `squares`
// it also sums the squares of the result in double precision, grouped and ordered as the output
// stage sums them, so a unit that passes its input unchanged measures its output here, to the
// same value, without a second pass. The samples themselves are rewritten only when one was
// invalid (rarely: a second pass then).
InputMeasure cleanAndCopy(float* samples, uint32_t count, float* copy, bool squares) noexcept;
InputMeasure cleanAndCopy(KernelForm form, float* samples, uint32_t count, float* copy, bool squares) noexcept;

// The output stage of one channel in one pass: scales every sample by `gains[i]` (`gains` not
// null: a ramp) or `gain`, limits it to +-ceiling (a ceiling above 0), and measures the result:
// its peak magnitude, how many samples the ceiling limited and, with `squares`, the sum of
// squares in double precision.
OutputMeasure scaleAndMeasure(float* samples, uint32_t count, const float* gains, float gain, float ceiling,
                              bool squares) noexcept;
OutputMeasure scaleAndMeasure(KernelForm form, float* samples, uint32_t count, const float* gains, float gain,
                              float ceiling, bool squares) noexcept;

}  // namespace quorel
