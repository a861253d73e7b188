// The whole processing chain rendered in real-time mode, stereo, 512 frames per call, as the
// device callback drives it: every effect engaged with the spectrum read (the Equalizer page
// open), the same with nobody reading it, and the neutral settings (every amount 0). Reports
// nanoseconds per stereo frame.

#include "AudioGraph.h"
#include "EveryEffect.h"
#include "PCMBuffer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace quorel;

constexpr uint32_t frames = 512;

// Every effect on, headphone correction too.
DSPSettings everything()
{
    DSPSettings s = bench::everyEffect();
    HeadphoneProfile p;
    p.preampDB = -4;
    for (int i = 0; i < 10; ++i)
        p.filters.push_back({i == 0   ? HeadphoneFilter::Kind::lowShelf
                             : i == 9 ? HeadphoneFilter::Kind::highShelf
                                      : HeadphoneFilter::Kind::peak,
                             60.0f * std::pow(2.0f, float(i)), i % 2 ? 2.5f : -3.0f, 1.4f});
    s.headphoneProfile = p;
    return s;
}

enum Case { allOn = 0, allOnUnread = 1, neutral = 2 };

void chain(benchmark::State& state)
{
    const auto which = Case(state.range(1));
    const double rate = double(state.range(0));
    const AudioFormat stereo = AudioFormat::standard(rate, 2);
    // One second of a two-tone signal per channel, handed out in a loop (not timed work).
    const size_t length = size_t(rate);
    std::vector<float> left(length + frames), right(length + frames);
    for (size_t n = 0; n < left.size(); ++n) {
        const double t = double(n % length) / rate;
        left[n] = float(0.3 * std::sin(2 * M_PI * 220 * t) + 0.05 * std::sin(2 * M_PI * 5100 * t));
        right[n] = float(0.3 * std::sin(2 * M_PI * 330 * t) + 0.05 * std::sin(2 * M_PI * 7300 * t));
    }
    size_t position = 0;
    AudioBufferList list;
    auto block = [&](uint32_t count) -> const AudioBufferList* {
        list.numberBuffers = 2;
        list.buffers[0] = {1, count * 4, left.data() + position};
        list.buffers[1] = {1, count * 4, right.data() + position};
        position = (position + count) % length;
        return &list;
    };
    AudioGraph graph(stereo, AudioGraph::Mode::realtime(stereo, block), true);
    graph.apply(which == neutral ? DSPSettings() : everything());
    graph.setSpectrumWanted(which == allOn);
    graph.prepare();
    graph.engine().start();
    auto out = PCMBuffer::make(stereo, frames);
    out->setFrameLength(frames);
    AudioBufferList& outList = out->mutableAudioBufferList();
    Status error = 0;
    for (int i = 0; i < 50; ++i) graph.engine().renderRealtime(frames, outList, &error);
    for (auto _ : state) {
        graph.engine().renderRealtime(frames, outList, &error);
        benchmark::DoNotOptimize(out->channel(0)[0]);
    }
    // Seconds per (frames x 1e-9): nanoseconds per stereo frame.
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    graph.stop();
}

}  // namespace

BENCHMARK(chain)
    ->ArgsProduct({{44100, 48000, 96000}, {allOn, allOnUnread, neutral}})
    ->ArgNames({"rate", "case"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
