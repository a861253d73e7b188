#pragma once

#include "CpuFeatures.h"

#include <cstdint>

namespace quorel {

// Adds a short FIR to a block: out[k] += sum over j < count of coefficients[j] * source[k - j],
// for k in 0...frames - 1. `source` points at the block's first sample and must have count - 1
// samples of history in front of it. The block is worked in groups of outputs held in vector
// registers (16 in the portable form, 64 in the wide one), so each tap is read once per group.
// An output's sum is formed in the same order whatever group it falls in, so the result does
// not depend on how a signal is cut into blocks.
void firAccumulate(float* out, const float* source, const float* coefficients, uint32_t count, uint32_t frames);
// The same in a given form (one that kernelFormAvailable allows).
void firAccumulate(KernelForm form, float* out, const float* source, const float* coefficients, uint32_t count,
                   uint32_t frames);

}  // namespace quorel
