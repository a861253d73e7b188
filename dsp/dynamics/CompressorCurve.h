#pragma once

#include <cstdint>

namespace quorel {

// The static curve of our compressors: above the threshold the ratio is
// 1 + |threshold| / headroom over a soft knee; below the expansion threshold the signal is
// pushed down by the expansion ratio. A threshold of 0 dB gives ratio 1: no gain change.
struct CompressorCurve {
    static constexpr float kneeDB = 6;

    float threshold = 0;  // dB
    float headroom = 40;  // dB
    float expansionRatio = 1;
    float expansionThreshold = -120;  // dB

    float ratio() const;
    // True when no level changes the gain.
    bool isNeutral() const;
    // Gain change in dB (0 or negative) for an input level in dB.
    float gainDB(float levelDB) const;
    // For `count` levels in dB: the linear gain 10^((gainDB(level) + makeupDB) / 20), as many at a
    // time as the processor's vectors hold (4, 8 or 16; within 1e-5 dB of the C library's
    // exponential); `gains` may be `levelsDB`.
    void gains(const float* levelsDB, float* gains, uint32_t count, float makeupDB) const;
};

}  // namespace quorel
