#pragma once

#include <cstdint>

namespace quorel {

// State of a utility unit's spectrum analyser.
struct QRSpectrumStatus {
    uint32_t bandCount;
    bool ready;
    uint64_t fftRuns;
    uint64_t samplesFed;
    float lastPower;
};

}  // namespace quorel
