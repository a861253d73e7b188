#pragma once

#include "BassHarmonics.h"

#include <atomic>
#include <cstdint>

namespace quorel {

// Parameter and render state of a bass-harmonics unit.
struct QRBassState {
    std::atomic<float> amount{0};  // 0...1
    uint32_t channels = 0;
    uint32_t capacity = 0;
    // The envelope's attack (3 ms) and release (60 ms) coefficients and, per channel, the five
    // filters and the envelope.
    BassHarmonics harmonics;
};

}  // namespace quorel
