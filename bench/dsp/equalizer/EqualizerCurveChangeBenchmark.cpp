// What a new equalizer curve costs the render thread: the call right after the owner wrote all
// 31 band gains (the owner's writes are not timed), against a call with no change. The call
// renders 0 frames (only taking the curve) or a 512-frame block.

#include "ParametricEqualizer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

using namespace quorel;

void renderCall(benchmark::State& state)
{
    const uint32_t frames = uint32_t(state.range(0));
    const bool newCurve = state.range(1) != 0;
    ParametricEqualizer eq(31);
    for (uint32_t i = 0; i < 31; ++i) {
        eq.setFrequency(i, 20.0f * std::pow(1.26f, float(i)));
        eq.setBandwidth(i, 1.0f / 3.0f);
        eq.setGain(i, float(1 + i % 4));
    }
    eq.prepare(48000);
    std::vector<float> left(512), right(512);
    for (uint32_t i = 0; i < 512; ++i) left[i] = right[i] = 0.3f * std::sin(0.05f * float(i));
    float* channels[2] = {left.data(), right.data()};
    float sign = -1;
    for (auto _ : state) {
        if (newCurve) {
            sign = -sign;
            for (uint32_t i = 0; i < 31; ++i) eq.setGain(i, sign * float(1 + i % 4));
        }
        const auto start = std::chrono::steady_clock::now();
        eq.process(channels, 2, frames);
        const auto end = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(left[0]);
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

}  // namespace

BENCHMARK(renderCall)
    ->ArgNames({"frames", "newCurve"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({512, 0})
    ->Args({512, 1})
    ->UseManualTime();
