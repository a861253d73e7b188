#pragma once

namespace quorel {

// Whether the processor runs AVX with fused multiply-add, so kernels can pick their 8-lane form.
// Decided once, when the library is loaded.
bool cpuHasAvxFma();
// The same with AVX2 (8-lane integer operations as well).
bool cpuHasAvx2Fma();

}  // namespace quorel
