#pragma once

#include <cstdint>

namespace quorel {

// A snapshot of QRSystemIO's counters and the peaks of its last cycles (linear).
struct QRSystemIOStats {
    uint64_t callbacks = 0;
    uint64_t renderedFrames = 0;
    uint64_t renderErrors = 0;
    uint64_t inputMismatches = 0;
    uint64_t outputMismatches = 0;
    uint64_t oversizedBuffers = 0;
    float inputPeak = 0;
    float outputPeak = 0;
};

}  // namespace quorel
