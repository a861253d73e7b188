// The Loudness compressor (the single-band dynamics processor) as the chain sets it for
// Loudness 0.5, stereo, 512 frames per call, on a tone whose level swings through the knee.

#include "DSPSettings.h"
#include "DynamicsProcessor.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using namespace quorel;

constexpr uint32_t frames = 512;

void compressor(benchmark::State& state)
{
    const auto [threshold, headroom, makeupDB] = DSPSettings::compressorSettings(0.5f);
    DynamicsProcessor d;
    d.setParameter(DynamicsProcessor::threshold, threshold);
    d.setParameter(DynamicsProcessor::headroom, headroom);
    d.setParameter(DynamicsProcessor::attackTime, 0.01f);
    d.setParameter(DynamicsProcessor::releaseTime, 0.18f);
    d.setParameter(DynamicsProcessor::overallGain, makeupDB);
    d.prepare(48000);
    // One second, handed out in a loop (not timed work).
    std::vector<float> source(48000 + frames);
    for (size_t n = 0; n < source.size(); ++n) {
        const double t = double(n % 48000) / 48000;
        source[n] = float(0.5 * (0.55 + 0.45 * std::sin(2 * M_PI * 3 * t)) * std::sin(2 * M_PI * 220 * t));
    }
    std::vector<float> left(frames), right(frames);
    size_t position = 0;
    for (auto _ : state) {
        // The copy in (timed too) is a small part of the call.
        std::copy_n(source.data() + position, frames, left.data());
        std::copy_n(source.data() + position, frames, right.data());
        position = (position + frames) % 48000;
        float* channels[2] = {left.data(), right.data()};
        d.process(channels, 2, frames);
        benchmark::DoNotOptimize(left[0]);
    }
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(compressor);
