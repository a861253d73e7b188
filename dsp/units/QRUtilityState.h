#pragma once

#include "PublishedBlock.h"
#include "RenderBuffer.h"
#include "SpectrumAnalyser.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// Parameters of a utility unit, published whole.
struct QRUtilityParameters {
    float targetGain = 1;  // linear, 0...16
    float ceiling = 0;     // linear 0...1, 0 = off
    uint32_t delayFrames = 0;
    bool spectrumWanted = true;  // false: the analyser is not fed (the delay line keeps the input)
    bool rmsWanted = true;       // false: no squares summed, the rms reading rests at 0
};

// State of a utility unit: gain ramp, whole-frame delay, ceiling, meters and analyser.
struct QRUtilityState {
    PublishedBlock<QRUtilityParameters> parameters;

    // Readings shared with the control thread.
    std::atomic<float> renderedGain{1};  // gain reached at the end of the last render call
    std::atomic<float> inputPeak{0};
    std::atomic<float> outputPeak{0};
    std::atomic<float> rms{0};
    std::atomic<uint64_t> guarded{0};  // output samples limited by the ceiling
    std::atomic<uint64_t> invalid{0};  // not-finite input samples replaced by 0

    // Render thread.
    float currentGain = 1;
    float rampTarget = 1;
    float rampStep = 0;
    uint32_t rampRemaining = 0;
    uint32_t rampFrames = 1;    // 20 ms
    uint32_t ringCapacity = 0;  // one second plus one frame
    uint32_t ringPosition = 0;
    std::array<SampleBuffer, 2> delay;
    SampleBuffer held;   // one channel's input while the delay line is read
    SampleBuffer gains;  // the gain of each frame while a ramp runs
    SampleBuffer mono;   // the frames' mean input, for the analyser

    SpectrumAnalyser analyser;
};

}  // namespace quorel
