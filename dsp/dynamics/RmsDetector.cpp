#include "RmsDetector.h"

#include <algorithm>

namespace quorel {

// The block form of the detector, built once for any processor and once for those with fused
// multiply-adds.
struct RmsDetectorKernel {
    // Both lanes hold the same value: a value in a vector register stays there, and a select
    // is one instruction, never a branch.
    using Double2 = double __attribute__((vector_size(16)));
    [[gnu::always_inline]] static Double2 both(double x) { return Double2{x, x}; }

    // In groups of 32 samples, so the processor overlaps one group's mean squares with the
    // levels of the group before.
    [[gnu::always_inline]] static void levels(RmsDetector& d, float* values, uint32_t count)
    {
        for (uint32_t start = 0; start < count; start += 32)
            levelsOfGroup(d, values + start, std::min(32u, count - start));
    }

    [[gnu::always_inline]] static void levelsOfGroup(RmsDetector& d, float* values, uint32_t count)
    {
        // Locals, so the recurrences stay in registers (`values` could alias the members). Built
        // for fused multiply-adds, the compiler fuses each a b + c below into one instruction.
        Double2 meanSquare = both(d.meanSquare_);
        const Double2 window = both(d.window_), keepWindow = both(d.keepWindow_);
        for (uint32_t i = 0; i < count; ++i) {
            meanSquare = keepWindow * meanSquare + window * both(values[i]);
            values[i] = float(meanSquare[0]);
        }
        d.meanSquare_ = meanSquare[0];
        using namespace vectormath;
        auto decibels = [](Float4 squares) {
            const Float4 level = log2(maximum(squares, splat(1e-12f))) * 3.01029996f;
            return squares > 1e-12f ? level : splat(RmsDetector::floorDB);
        };
        const uint32_t whole = count - count % 4;
        for (uint32_t i = 0; i < whole; i += 4) store(values + i, decibels(load(values + i)));
        if (whole < count) {
            float lanes[4] = {1, 1, 1, 1};
            for (uint32_t i = whole; i < count; ++i) lanes[i - whole] = values[i];
            store(lanes, decibels(load(lanes)));
            for (uint32_t i = whole; i < count; ++i) values[i] = lanes[i - whole];
        }
        // Both candidates side by side, each one multiply-add from the last level, and the
        // compare beside them.
        Double2 levelDB = both(d.levelDB_);
        const Double2 attack = both(d.attack_), keepAttack = both(d.keepAttack_);
        const Double2 release = both(d.release_), keepRelease = both(d.keepRelease_);
        for (uint32_t i = 0; i < count; ++i) {
            const Double2 level = both(values[i]);
            const Double2 rising = keepAttack * levelDB + attack * level;
            const Double2 falling = keepRelease * levelDB + release * level;
            levelDB = level > levelDB ? rising : falling;
            values[i] = float(levelDB[0]);
        }
        d.levelDB_ = levelDB[0];
    }

    static void plain(RmsDetector& d, float* values, uint32_t count) { levels(d, values, count); }
#if defined(__x86_64__)
    __attribute__((target("fma"))) static void fused(RmsDetector& d, float* values, uint32_t count)
    {
        levels(d, values, count);
    }
#endif

    using Form = void (*)(RmsDetector&, float*, uint32_t);
    static Form choose()
    {
#if defined(__x86_64__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("fma")) return fused;
#endif
        return plain;
    }
};

namespace {
// Decided once, when the library is loaded.
const RmsDetectorKernel::Form levelsForm = RmsDetectorKernel::choose();
}  // namespace

void RmsDetector::levels(float* values, uint32_t count) { levelsForm(*this, values, count); }

}  // namespace quorel
