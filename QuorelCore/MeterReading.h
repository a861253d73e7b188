#pragma once

#include <cstdint>

namespace quorel {

// One snapshot of the chain's meters. Levels in dB use the -120 dB silence floor.
struct MeterReading {
    float inputPeakDB;
    float outputPeakDB;
    float outputRMSDB;
    float limiterReductionDB;
    uint64_t guardedSamples;
    uint64_t invalidSamples;
    float levelerLoudnessLUFS = -120;
    float levelerGainDB = 0;
    bool levelerMeasuring = false;
    float driveActivity = 0;
};

}  // namespace quorel
