// The equalizer's kernels (31 third-octave bands and 10 correction bands, stereo, 512 frames)
// against the plain band-by-band cascade they replace.

#include "BiquadFilter.h"
#include "ParametricEqualizer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace quorel;

constexpr uint32_t frames = 512;
constexpr uint32_t bands = 41;

void configure(ParametricEqualizer& eq)
{
    for (uint32_t i = 0; i < bands; ++i) {
        eq.setFrequency(i, 20.0f * std::pow(1.26f, float(i % 31)));
        eq.setBandwidth(i, i < 31 ? 1.0f / 3.0f : 1.4f);
        eq.setGain(i, i % 2 ? 1.5f : -2.0f);
    }
    eq.prepare(48000);
}

std::vector<float> signal()
{
    std::vector<float> x(frames);
    for (uint32_t i = 0; i < frames; ++i) x[i] = 0.3f * std::sin(0.05f * float(i));
    return x;
}

// Argument: the kernel (0 portable, 1 wide, 2 wider); one the processor lacks is skipped.
void wavefront(benchmark::State& state)
{
    const auto kernel = ParametricEqualizer::Kernel(state.range(0));
    if (!ParametricEqualizer::kernelAvailable(kernel)) return state.SkipWithError("not on this processor");
    ParametricEqualizer eq(bands);
    eq.setKernel(kernel);
    configure(eq);
    std::vector<float> left = signal(), right = signal();
    float* channels[2] = {left.data(), right.data()};
    for (auto _ : state) {
        eq.process(channels, 2, frames);
        benchmark::DoNotOptimize(left[0]);
    }
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void plainCascade(benchmark::State& state)
{
    ParametricEqualizer eq(bands);
    configure(eq);
    std::vector<BiquadFilter> filters(bands);
    for (uint32_t i = 0; i < bands; ++i) filters[i].setCoefficients(eq.design(i, 48000));
    std::vector<float> left = signal(), right = signal();
    for (auto _ : state) {
        for (BiquadFilter& f : filters) {
            f.process(left.data(), frames, 0);
            f.process(right.data(), frames, 1);
        }
        benchmark::DoNotOptimize(left[0]);
    }
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(wavefront)->DenseRange(0, 2)->ArgName("kernel");
BENCHMARK(plainCascade);
