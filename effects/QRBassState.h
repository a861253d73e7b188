#pragma once

#include "BassHarmonics.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameter and render state of a bass-harmonics unit.
struct QRBassState {
    std::atomic<float> amount{0};  // 0...1
    uint32_t channels = 0;
    uint32_t capacity = 0;
    // Per channel: the five filters, the envelope and its attack (3 ms) and release (60 ms)
    // coefficients.
    std::array<BassHarmonics, 2> channel;
};

}  // namespace quorel
