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
    // A change of the parameters while the sound runs is reached in `changeSteps` steps of
    // `changeStep` frames (20 ms at 48 kHz), the curve of each step part of the way from the one
    // in use: a change of the drive is never a click. After a reset it applies at once.
    static constexpr uint32_t changeStep = 32;
    static constexpr uint32_t changeSteps = 30;
    DriveCurve applied = DriveCurve::make(0, 0.999f);
    DriveCurve changeFrom = applied;
    uint32_t changeStepsDone = changeSteps;
    bool sounding = false;
};

}  // namespace quorel
