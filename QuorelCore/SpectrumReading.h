#pragma once

#include <vector>

namespace quorel {

// Per-band input and output levels (31 bands, in the order of DSPSettings::frequencies).
struct SpectrumReading {
    bool available = false;
    std::vector<float> input;
    std::vector<float> output;
};

}  // namespace quorel
