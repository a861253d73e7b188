#pragma once

#include "BassHarmonics.h"
#include "PublishedBlock.h"

#include <cstdint>

namespace quorel {

// Parameters of a bass-harmonics unit, published whole.
struct QRBassParameters {
    float amount = 0;  // 0...1
};

// Parameter and render state of a bass-harmonics unit.
struct QRBassState {
    PublishedBlock<QRBassParameters> parameters;
    uint32_t channels = 0;
    uint32_t capacity = 0;
    // The envelope's attack (3 ms) and release (60 ms) coefficients and, per channel, the five
    // filters and the envelope.
    BassHarmonics harmonics;
};

}  // namespace quorel
