#pragma once

namespace quorel {

// The static curve of our compressors: above the threshold the ratio is
// 1 + |threshold| / headroom over a soft knee; below the expansion threshold the signal is
// pushed down by the expansion ratio. A threshold of 0 dB gives ratio 1: no gain change.
struct CompressorCurve {
    static constexpr float kneeDB = 6;

    float threshold = 0;           // dB
    float headroom = 40;           // dB
    float expansionRatio = 1;
    float expansionThreshold = -120;  // dB

    float ratio() const;
    // True when no level changes the gain.
    bool isNeutral() const;
    // Gain change in dB (0 or negative) for an input level in dB.
    float gainDB(float levelDB) const;
};

}  // namespace quorel
