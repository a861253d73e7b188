#pragma once

#include "Biquad.h"
#include "PublishedBlock.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameters of the loudness leveler, published whole.
struct QRLevelerParameters {
    float strength = 0;  // 0...1
    float target = -14;  // LUFS, -30...-6
};

// State of the loudness leveler.
struct QRLevelerState {
    static constexpr uint32_t binSlots = 30;  // 3 s of 100 ms bins

    PublishedBlock<QRLevelerParameters> parameters;

    // Readings shared with the control thread.
    std::atomic<float> shortTermLoudness{-120};  // LUFS, gated over the last 3 s
    std::atomic<float> gainDB{0};
    std::atomic<uint32_t> measuring{0};

    // Render thread.
    double sampleRate = 0;
    std::array<Biquad, 2> shelf;     // K-weighting stage 1, per channel
    std::array<Biquad, 2> highPass;  // K-weighting stage 2, per channel
    std::array<double, 2> binSum{};  // squared K-weighted samples of the current bin
    uint32_t binCount = 0;
    uint32_t binLength = 0;              // frames per 100 ms bin
    std::array<float, binSlots> bins{};  // mean squares of the last bins (ring)
    uint32_t binIndex = 0;
    uint32_t binsFilled = 0;
    float desiredDB = 0;
    float currentDB = 0;
    float currentGain = 1;
};

}  // namespace quorel
