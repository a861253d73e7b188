#pragma once

#include "Biquad.h"
#include "CpuFeatures.h"

#include <array>
#include <cstdint>

namespace quorel {

// The K-weighting of two channels that share their coefficients (a shelf, then a high-pass,
// those of channel 0), adding the squares of the weighted samples to `sums` in double
// precision. The memories stay in transposed direct form II between calls. Real-time safe.
// The wide form fuses multiplications and additions, so its sums differ from the portable
// form's in the last bits; the form chosen when the library is loaded runs without one.
void kWeightedSquares(std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left,
                      const float* right, uint32_t count, std::array<double, 2>& sums) noexcept;
void kWeightedSquares(KernelForm form, std::array<Biquad, 2>& shelf, std::array<Biquad, 2>& highPass, const float* left,
                      const float* right, uint32_t count, std::array<double, 2>& sums) noexcept;

}  // namespace quorel
