#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorel {

// The real-time path's statistics, one record from QRSystemIO outward: QRSystemIO fills its
// counters and the peaks of its last cycles; the engine adds the cycles the device missed and
// the rate the frames ran at, and the models, the tool and the statistics line read it as it is.
struct QRSystemIOStats {
    uint64_t callbacks = 0;
    uint64_t renderedFrames = 0;
    uint64_t renderErrors = 0;
    uint64_t inputMismatches = 0;
    uint64_t outputMismatches = 0;
    uint64_t oversizedBuffers = 0;
    float inputPeak = 0;     // linear
    float outputPeak = 0;    // linear
    uint64_t overloads = 0;  // cycles the device missed since processing started (the engine's)
    double sampleRate = 0;   // the rate the frames ran at (the engine's); 0 when unknown

    double renderedSeconds() const { return sampleRate > 0 ? double(renderedFrames) / sampleRate : 0; }
    float inputPeakDB() const { return peakDB(inputPeak); }
    float outputPeakDB() const { return peakDB(outputPeak); }

    // 20·log10 of a linear peak, -120 for anything not positive and finite or lower.
    static float peakDB(float linear)
    {
        if (!(linear > 0) || !std::isfinite(linear)) return -120;
        return std::max(20 * std::log10(linear), -120.0f);
    }
};

}  // namespace quorel
