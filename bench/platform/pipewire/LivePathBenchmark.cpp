// The real-time thread's work per cycle, without the sound server: the chain alone (the
// engine's render, as bench/chain times it) against the same chain driven the way the in-graph
// filter drives it (planar port buffers -> the device's procedure -> QRSystemIO -> the chain's
// input block and render -> the port buffers). Same settings as `live-overhead` plays with
// (every effect on, nobody reading the spectrum), at the quanta the live figures are taken at.
// Reports nanoseconds per stereo frame.

#include "DSPSettings.h"
#include "GraphChain.h"
#include "QRSystemIO.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace quorel;

DSPSettings everything()
{
    DSPSettings s;
    s.boostDB = 6;
    s.loudness = 0.5f;
    for (size_t i = 0; i < s.bands.size(); ++i) s.bands[i] = i % 2 ? 1.5f : -2.0f;
    s.highPassHz = 80;
    s.bassHarmonics = 0.5f;
    s.driveAmount = 0.5f;
    s.levelerStrength = 1;
    return s;
}

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

// The device side as the PipeWire backend is: the procedure gets one mono buffer per port.
struct PortDevice : QRAudioDevice {
    IOProc proc = nullptr;
    void* context = nullptr;
    Status createIOProc(IOProc p, void* c, uint64_t& id) override
    {
        proc = p;
        context = c;
        id = 1;
        return 0;
    }
    Status startIOProc(uint64_t) override { return 0; }
    void stopIOProc(uint64_t) override {}
    void destroyIOProc(uint64_t) override { proc = nullptr; }
};

void report(benchmark::State& state, uint32_t frames)
{
    state.counters["ns_per_frame"] = benchmark::Counter(double(frames) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void chainAlone(benchmark::State& state)
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
    chain.apply(everything());
    chain.setSpectrumWanted(false);
    chain.prepare();
    chain.start();
    std::vector<float> left(frames), right(frames);
    AudioBufferList out;
    for (int i = 0; i < 50; ++i) {
        out.numberBuffers = 2;
        out.buffers[0] = {1, frames * 4, left.data()};
        out.buffers[1] = {1, frames * 4, right.data()};
        chain.render(frames, out);
    }
    for (auto _ : state) {
        out.numberBuffers = 2;
        out.buffers[0] = {1, frames * 4, left.data()};
        out.buffers[1] = {1, frames * 4, right.data()};
        chain.render(frames, out);
        benchmark::DoNotOptimize(left[0]);
    }
    report(state, frames);
    chain.stop();
}

Status renderThroughChain(void* context, uint32_t frames, AudioBufferList& output)
{
    return static_cast<EngineChain*>(context)->render(frames, output);
}

void throughSystemIO(benchmark::State& state)
{
    const auto frames = uint32_t(state.range(0));
    Signal signal(frames);
    auto io = QRSystemIO::create(2, 2, 4096);
    QRSystemIO* pointer = io.get();
    GraphChain chain(2, Signal::rate, [pointer](uint32_t count) { return pointer->input(count); });
    chain.apply(everything());
    chain.setSpectrumWanted(false);
    chain.prepare();
    chain.start();
    io->setRenderBlock({&renderThroughChain, &chain});
    PortDevice device;
    Status error = 0;
    io->start(device, error);
    std::vector<float> left(frames), right(frames);
    auto cycle = [&] {
        // What the backend's process callback does with the port buffers of one cycle.
        AudioBufferList in;
        in.numberBuffers = 2;
        in.buffers[0] = {1, frames * 4, signal.left.data() + signal.position};
        in.buffers[1] = {1, frames * 4, signal.right.data() + signal.position};
        AudioBufferList out;
        out.numberBuffers = 2;
        out.buffers[0] = {1, frames * 4, left.data()};
        out.buffers[1] = {1, frames * 4, right.data()};
        device.proc(device.context, &in, &out, false);
        signal.advance(frames);
    };
    for (int i = 0; i < 50; ++i) cycle();
    for (auto _ : state) {
        cycle();
        benchmark::DoNotOptimize(left[0]);
    }
    report(state, frames);
    io->stop();
    chain.stop();
}

}  // namespace

BENCHMARK(chainAlone)->Arg(256)->Arg(1024)->ArgName("quantum")->Unit(benchmark::kMicrosecond);
BENCHMARK(throughSystemIO)->Arg(256)->Arg(1024)->ArgName("quantum")->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
