#pragma once

#include "DriveCurve.h"
#include "DriveOversampler.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameters, reading and render state of a drive unit.
struct QRDriveState {
    std::atomic<float> amount{0};        // 0...1
    std::atomic<float> ceiling{0.999f};  // linear output ceiling, 0.1...1
    std::atomic<float> activity{0};      // largest driven magnitude since the last read (rest 0)
    uint32_t channels = 0;
    uint32_t capacity = 0;
    uint32_t factor = 1;  // oversampling factor 4, 2 or 1
    uint32_t taps = 1;    // filter length: 129 when oversampling, else 1
    // Per channel: the oversampling filters with their histories and work blocks.
    std::array<DriveOversampler, 2> oversampler;
    // The curve derived from the parameters last read, recomputed when they change.
    DriveCurve curve;
    float curveAmount = -1;
    float curveCeiling = -1;
};

}  // namespace quorel
