#pragma once

#include "PublishedBlock.h"
#include "RenderBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameters of the look-ahead limiter, published whole with the release coefficient derived
// from them.
struct QRLimiterParameters {
    float ceiling = 0.999f;           // linear, 0.1...1
    float lookaheadSeconds = 0.005f;  // as given; the window clamps it
    float releaseSeconds = 0.08f;     // as given
    float releaseCoefficient = 0;     // of the release clamped to 0.005...1 s, at the unit's rate
};

// State of the look-ahead limiter.
struct QRLimiterState {
    PublishedBlock<QRLimiterParameters> parameters;

    // Readings shared with the control thread.
    std::atomic<float> minimumGain{1};  // smallest gain since the last read; rests at 1

    // Control thread while not rendering.
    uint32_t window = 0;  // look-ahead window W in frames, fixed at allocation
    double sampleRate = 0;

    // Render thread.
    float releaseCoefficient = 0;
    std::array<SampleBuffer, 2> delay;  // W - 1 frames each
    uint32_t delayIndex = 0;
    SampleBuffer blockTargets;   // target gains of the current block of W frames
    SampleBuffer suffixMinima;   // suffix minima of the previous block's targets
    uint32_t blockPosition = 0;  // frames of the current block so far
    float blockMinimum = 1;      // smallest target of the current block so far
    SampleBuffer box;            // last W envelope values
    uint32_t boxIndex = 0;
    double boxSum = 0;
    uint32_t boxSame = 0;  // how many of the newest box values equal the envelope (at most W)
    float envelope = 1;
    SampleBuffer framePeaks;       // per render call: peak of each frame, then its gain
    SampleBuffer held;             // one channel's input while the delay line is read
    RenderBuffer<double> boxSums;  // per render call: the box sum after each frame
};

}  // namespace quorel
