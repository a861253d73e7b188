#pragma once

#include "DriveCurve.h"
#include "DriveOversampler.h"
#include "PublishedBlock.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameters, reading and render state of a drive unit.
struct QRDriveState {
    // The parameters (amount 0...1, linear output ceiling 0.1...1) published whole with the curve
    // derived from them.
    PublishedBlock<DriveCurve> parameters{DriveCurve::make(0, 0.999f)};
    std::atomic<float> activity{0};  // largest driven magnitude since the last read (rest 0)
    uint32_t channels = 0;
    uint32_t capacity = 0;
    uint32_t factor = 1;  // oversampling factor 4, 2 or 1
    uint32_t taps = 1;    // filter length: 129 when oversampling, else 1
    // Per channel: the oversampling filters with their histories and work blocks.
    std::array<DriveOversampler, 2> oversampler;
};

}  // namespace quorel
