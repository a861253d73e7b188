#pragma once

#include <cstdint>

// What a utility unit's spectrum analyser reports about itself.
struct QRSpectrumStatus {
    uint32_t bandCount;  // bands configured, 0...64
    bool ready;          // buffers exist and the bands are mapped
    uint64_t fftRuns;    // transforms done
    uint64_t samplesFed; // mono samples fed
    float lastPower;     // sum of all band energies of the last transform
};
