#pragma once

namespace quorel {

// Whether the processor runs AVX with fused multiply-add, so kernels can pick their 8-lane form.
// Decided once, when the library is loaded.
bool cpuHasAvxFma();
// The same with AVX2 (8-lane integer operations as well).
bool cpuHasAvx2Fma();

// The forms a vector kernel comes in: `portable` runs on any processor; `wide` uses the 8-lane
// instructions (AVX with FMA, AVX2 where a kernel needs integer lanes) and exists only where
// kernelFormAvailable says so. Each kernel picks the best form once, when the library is loaded;
// tests run every available form against the same reference.
enum class KernelForm { portable, wide };
bool kernelFormAvailable(KernelForm form);

}  // namespace quorel
