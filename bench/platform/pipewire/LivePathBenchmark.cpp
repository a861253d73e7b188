// The real-time thread's work per cycle, without the sound server: the chain alone (the
// engine's render, as bench/chain times it) against the same chain driven the way the in-graph
// filter drives it (planar port buffers -> the device's procedure -> QRSystemIO -> the chain's
// input block and render -> the port buffers). Same settings as `live-overhead` plays with
// (every effect on, nobody reading the spectrum), at the quanta the live figures are taken at.
// Reports nanoseconds per stereo frame.

#include "LiveChain.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

using namespace quorel;

// One second of a two-tone signal per channel, handed out in a loop (not timed work).
struct Signal {
    static constexpr double rate = 48000;
    std::vector<float> left, right;
    size_t position = 0;
    explicit Signal(uint32_t frames) : left(size_t(rate) + frames), right(size_t(rate) + frames)
    {
        for (size_t n = 0; n < left.size(); ++n) {
            const double t = double(n % size_t(rate)) / rate;
            left[n] = float(0.3 * std::sin(2 * M_PI * 220 * t) + 0.05 * std::sin(2 * M_PI * 5100 * t));
            right[n] = float(0.3 * std::sin(2 * M_PI * 330 * t) + 0.05 * std::sin(2 * M_PI * 7300 * t));
        }
    }
    void advance(uint32_t frames) { position = (position + frames) % size_t(rate); }
};

void report(benchmark::State& state, uint32_t frames)
{
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Live, the thread sleeps a whole cycle between two renders while other processes run: the
// chain finds its state and code out of the caches (a profile of the live thread shows the
// units running about twice as slow as here). `cold` evicts every cache level between cycles
// (a walk over 64 MB, not timed: each cycle is timed on the clock), so each timed cycle starts
// as a live one does; else the cycles run back to back, as bench/chain times them, on the
// processor time, which is what the live figures count too.
template <typename Cycle>
void timeCycles(benchmark::State& state, bool cold, uint32_t frames, Cycle&& cycle)
{
    for (int i = 0; i < 50; ++i) cycle();
    if (!cold) {
        for (auto _ : state) cycle();
        report(state, frames);
        return;
    }
    std::vector<uint64_t> evict((64u << 20) / sizeof(uint64_t));
    for (auto _ : state) {
        for (uint64_t& v : evict) ++v;
        benchmark::ClobberMemory();
        const auto start = std::chrono::steady_clock::now();
        cycle();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    report(state, frames);
}

// The engine's render alone, reading the signal where it lies.
void chainAlone(benchmark::State& state, bool cold)
{
    const auto frames = uint32_t(state.range(0));
    Signal signal(frames);
    AudioBufferList list;
    GraphChain chain(2, Signal::rate, [&](uint32_t count) -> const AudioBufferList* {
        list.numberBuffers = 2;
        list.buffers[0] = {1, count * 4, signal.left.data() + signal.position};
        list.buffers[1] = {1, count * 4, signal.right.data() + signal.position};
        signal.advance(count);
        return &list;
    });
    chain.apply(bench::everyEffect());
    chain.setSpectrumWanted(false);
    chain.prepare();
    chain.start();
    std::vector<float> left(frames), right(frames);
    timeCycles(state, cold, frames, [&] {
        AudioBufferList out;
        out.numberBuffers = 2;
        out.buffers[0] = {1, frames * 4, left.data()};
        out.buffers[1] = {1, frames * 4, right.data()};
        chain.render(frames, out);
        benchmark::DoNotOptimize(left[0]);
    });
    chain.stop();
}

// The chain as the filter drives it: port buffers -> the device's procedure -> QRSystemIO.
void throughSystemIO(benchmark::State& state, bool cold)
{
    const auto frames = uint32_t(state.range(0));
    Signal signal(frames);
    bench::LiveChain chain(Signal::rate);
    std::vector<float> left(frames), right(frames);
    float* out[2] = {left.data(), right.data()};
    timeCycles(state, cold, frames, [&] {
        const float* in[2] = {signal.left.data() + signal.position, signal.right.data() + signal.position};
        chain.cycle(in, out, frames);
        signal.advance(frames);
        benchmark::DoNotOptimize(left[0]);
    });
}

void hotCases(benchmark::internal::Benchmark* cases)
{
    cases->Arg(256)->Arg(1024)->ArgName("quantum")->Unit(benchmark::kMicrosecond);
}

// Evicting the caches takes about 3 ms a cycle: the cold cases run a fixed count.
void coldCases(benchmark::internal::Benchmark* cases)
{
    hotCases(cases);
    cases->UseManualTime()->Iterations(300);
}

}  // namespace

BENCHMARK_CAPTURE(chainAlone, hot, false)->Apply(hotCases);
BENCHMARK_CAPTURE(throughSystemIO, hot, false)->Apply(hotCases);
BENCHMARK_CAPTURE(chainAlone, cold, true)->Apply(coldCases);
BENCHMARK_CAPTURE(throughSystemIO, cold, true)->Apply(coldCases);
BENCHMARK_MAIN();
