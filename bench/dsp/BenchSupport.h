#pragma once

#include "AudioUnit.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace quorel::bench {

// Renders stereo 48 kHz blocks through a chain of allocated units, in place, the input pulled
// from a fixed loud noise signal. Reports "time/frame" (time per stereo frame).
class StereoChain {
public:
    static constexpr double sampleRate = 48000;

    // Prepares every unit for stereo at 48 kHz with `blockFrames` as the frame limit.
    StereoChain(std::vector<AudioUnit*> units, uint32_t blockFrames, float amplitude = 0.9f);

    // Renders one block through every unit in order.
    void renderBlock();

    // The benchmark loop: renders blocks and sets the time/frame counter.
    void run(benchmark::State& state);

private:
    std::vector<AudioUnit*> units_;
    uint32_t blockFrames_;
    std::vector<float> source_[2];
    size_t position_ = 0;
    std::vector<float> buffers_[2];
};

// Sets the "time/frame" counter: time per stereo frame of `blockFrames`-frame blocks.
void reportTimePerFrame(benchmark::State& state, uint32_t blockFrames);

// The block sizes every effects benchmark runs: 128, 512 and 4096 frames.
void blockSizes(benchmark::internal::Benchmark* benchmark);

}  // namespace quorel::bench
