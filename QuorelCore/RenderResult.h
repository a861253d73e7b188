#pragma once

#include "MeterReading.h"
#include "SpectrumReading.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorel {

// The largest absolute sample and the mean square of samples taken piece by piece.
struct LevelSum {
    float peak = 0;
    double squares = 0;
    uint64_t samples = 0;

    void add(const float* values, size_t count);
    // Root of the mean square (double); 0 when nothing was added.
    double rms() const;
};

// What an offline render returns: two output channels, the chain's latency and counts, and
// the input and output spectra when analysis was asked for.
struct RenderResult {
    std::vector<std::vector<float>> channels;
    double reportedLatency = 0;
    uint64_t guardedSamples = 0;
    uint64_t invalidSamples = 0;
    std::optional<SpectrumReading> spectrum;
    // The graph's meters, read once after the last render call.
    MeterReading meter{};

    // Largest absolute sample over all channels; 0 when empty.
    float peak() const;
    // Root of the mean square over every sample of every channel (double); 0 when empty.
    double rms() const;
};

}  // namespace quorel
