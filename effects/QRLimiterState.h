#pragma once

#include "RenderBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// State of the look-ahead limiter.
struct QRLimiterState {
    // Parameters and readings shared with the control thread.
    std::atomic<float> ceiling{0.999f};         // linear
    std::atomic<float> lookaheadSeconds{0.005f};
    std::atomic<float> releaseSeconds{0.08f};
    std::atomic<float> minimumGain{1};          // smallest gain since the last read; rests at 1

    // Render thread.
    uint32_t window = 0;                        // look-ahead window W in frames, fixed at allocation
    float releaseCoefficient = 0;
    float appliedRelease = 0;                   // clamped release the coefficient was made from
    double sampleRate = 0;
    std::array<SampleBuffer, 2> delay;          // W - 1 frames each
    uint32_t delayIndex = 0;
    SampleBuffer blockTargets;                  // target gains of the current block of W frames
    SampleBuffer suffixMinima;                  // suffix minima of the previous block's targets
    uint32_t blockPosition = 0;                 // frames of the current block so far
    float blockMinimum = 1;                     // smallest target of the current block so far
    SampleBuffer box;                           // last W envelope values
    uint32_t boxIndex = 0;
    double boxSum = 0;
    uint32_t boxSame = 0;                       // how many of the newest box values equal the envelope (at most W)
    float envelope = 1;
    SampleBuffer framePeaks;                    // per render call: peak of each frame, then its gain
    SampleBuffer held;                          // one channel's input while the delay line is read
    RenderBuffer<double> boxSums;               // per render call: the box sum after each frame
};

}  // namespace quorel
