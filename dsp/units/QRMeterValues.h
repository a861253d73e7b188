#pragma once

#include <cstdint>

namespace quorel {

// What a utility unit metered: peaks and RMS (linear) of the last render call, and the
// cumulative counts of samples guarded by its ceiling and of invalid input samples.
struct QRMeterValues {
    float inputPeak;
    float outputPeak;
    float rms;
    uint64_t guarded;
    uint64_t invalid;
};

}  // namespace quorel
