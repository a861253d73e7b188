#pragma once

#include <cstdint>

namespace quorel {

// Adds a short FIR to a block: out[k] += sum over j < count of coefficients[j] * source[k - j],
// for k in 0...frames - 1. `source` points at the block's first sample and must have count - 1
// samples of history in front of it. The block is worked in groups of 16 outputs held in
// vector registers, so the taps are read once per group.
void firAccumulate(float* out, const float* source, const float* coefficients, uint32_t count,
                   uint32_t frames);

}  // namespace quorel
