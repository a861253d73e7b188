#include "RealtimeBridge.h"
#include "SpscRing.h"

#include <gtest/gtest.h>

#include <vector>

using quorel::pipewire::RealtimeBridge;

namespace {
// Doubles the input; counts calls.
struct Doubler {
    int calls = 0;
    uint32_t largest = 0;
    static void process(void* context, const float* input, uint32_t inputChannels, float* output,
                        uint32_t outputChannels, uint32_t frames)
    {
        auto* self = static_cast<Doubler*>(context);
        ++self->calls;
        self->largest = std::max(self->largest, frames);
        for (uint32_t i = 0; i < frames; ++i)
            for (uint32_t c = 0; c < outputChannels; ++c)
                output[i * outputChannels + c] =
                    input ? 2 * input[i * inputChannels + std::min(c, inputChannels - 1)] : 0.0f;
    }
};

std::vector<float> ramp(uint32_t frames, uint32_t channels, float start)
{
    std::vector<float> v(size_t(frames) * channels);
    for (size_t i = 0; i < v.size(); ++i) v[i] = start + float(i);
    return v;
}
}  // namespace

TEST(RealtimeBridge, PlaybackBeforeTheFirstCaptureIsSilentWithoutOverload)
{
    RealtimeBridge bridge(2, 2);
    std::vector<float> out(256, 5.0f);
    bridge.playbackCycle(out.data(), 128);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(bridge.overloads(), 0u);
}

TEST(RealtimeBridge, PlaybackIsOneCycleLateWhicheverCallbackRunsFirst)
{
    RealtimeBridge bridge(2, 2);
    Doubler doubler;
    bridge.setProcessor(&Doubler::process, &doubler);
    const uint32_t n = 64;
    std::vector<float> out(n * 2);
    // Cycle 1, capture first: the cycle of silence leads.
    auto in1 = ramp(n, 2, 1);
    bridge.captureCycle(in1.data(), n, 1);
    bridge.playbackCycle(out.data(), n, 1);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    // Cycle 2, playback first: plays cycle 1.
    bridge.playbackCycle(out.data(), n, 2);
    EXPECT_EQ(out[0], 2.0f);
    EXPECT_EQ(out[2 * n - 1], 2.0f * float(2 * n));
    auto in2 = ramp(n, 2, 1000);
    bridge.captureCycle(in2.data(), n, 2);
    // Cycle 3, capture first again: plays cycle 2.
    auto in3 = ramp(n, 2, 5000);
    bridge.captureCycle(in3.data(), n, 3);
    bridge.playbackCycle(out.data(), n, 3);
    EXPECT_EQ(out[0], 2000.0f);
    EXPECT_EQ(bridge.overloads(), 0u);
    EXPECT_EQ(bridge.bufferedFrames(), n);
}

TEST(RealtimeBridge, PlaybackFirstFromTheStartIsAlsoOneCycleLate)
{
    RealtimeBridge bridge(2, 2);
    Doubler doubler;
    bridge.setProcessor(&Doubler::process, &doubler);
    const uint32_t n = 32;
    std::vector<float> out(n * 2, 3.0f);
    for (uint64_t cycle = 1; cycle <= 4; ++cycle) {
        bridge.playbackCycle(out.data(), n, cycle);
        if (cycle >= 2) {
            EXPECT_EQ(out[0], 2.0f * float(cycle - 1)) << cycle;  // the previous cycle's frames
        }
        std::vector<float> in(n * 2, float(cycle));
        bridge.captureCycle(in.data(), n, cycle);
    }
    EXPECT_EQ(bridge.overloads(), 0u);
}

TEST(RealtimeBridge, AnEmptyRingIsAnOverloadAndPlaysSilence)
{
    RealtimeBridge bridge(2, 2);
    const uint32_t n = 32;
    auto in = ramp(n, 2, 1);
    std::vector<float> out(n * 2, 3.0f);
    bridge.captureCycle(in.data(), n, 1);       // silence + n frames queued
    bridge.playbackCycle(out.data(), n, 1);
    bridge.playbackCycle(out.data(), n, 2);
    EXPECT_EQ(bridge.overloads(), 0u);
    bridge.playbackCycle(out.data(), n, 3);     // nothing left
    EXPECT_EQ(bridge.overloads(), 1u);
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(RealtimeBridge, AFullRingIsAnOverload)
{
    RealtimeBridge bridge(1, 2);
    const uint32_t n = RealtimeBridge::largestCycle;
    std::vector<float> in(n, 0.5f);
    for (int i = 0; i < 4; ++i) bridge.captureCycle(in.data(), n);
    EXPECT_GE(bridge.overloads(), 1u);
}

TEST(RealtimeBridge, WithoutAProcessorTheOutputIsSilence)
{
    RealtimeBridge bridge(2, 2);
    const uint32_t n = 16;
    auto in = ramp(n, 2, 1);
    std::vector<float> out(n * 2, 3.0f);
    bridge.captureCycle(in.data(), n, 1);
    bridge.playbackCycle(out.data(), n, 1);
    bridge.playbackCycle(out.data(), n, 2);
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(RealtimeBridge, LongCyclesAreProcessedInSlices)
{
    RealtimeBridge bridge(1, 2);
    Doubler doubler;
    bridge.setProcessor(&Doubler::process, &doubler);
    // The server's largest quantum reaches the chain in pieces it can render (4096 at most).
    const uint32_t n = RealtimeBridge::largestCycle;
    std::vector<float> in(n, 0.25f);
    bridge.captureCycle(in.data(), n);
    EXPECT_EQ(doubler.calls, 2);
    EXPECT_EQ(doubler.largest, 4096u);
    EXPECT_EQ(bridge.overloads(), 0u);
}

TEST(RealtimeBridge, ResetStartsAgainWithLeadingSilence)
{
    RealtimeBridge bridge(2, 2);
    Doubler doubler;
    bridge.setProcessor(&Doubler::process, &doubler);
    const uint32_t n = 8;
    auto in = ramp(n, 2, 1);
    bridge.captureCycle(in.data(), n, 1);
    bridge.reset();
    EXPECT_EQ(bridge.bufferedFrames(), 0u);
    std::vector<float> out(n * 2, 3.0f);
    bridge.playbackCycle(out.data(), n, 2);  // not flowing yet: silence, no overload
    EXPECT_EQ(bridge.overloads(), 0u);
    bridge.captureCycle(in.data(), n, 2);
    EXPECT_EQ(bridge.bufferedFrames(), 2 * n);
}

TEST(RealtimeBridge, AMissedPlaybackCycleDoesNotAddLatencyForGood)
{
    RealtimeBridge bridge(2, 2);
    const uint32_t n = 16;
    auto in = ramp(n, 2, 1);
    std::vector<float> out(n * 2);
    bridge.captureCycle(in.data(), n, 1);
    bridge.playbackCycle(out.data(), n, 1);
    // Cycle 2: the playback side misses it.
    bridge.captureCycle(in.data(), n, 2);
    // Cycle 3: two captured cycles wait; the older one is dropped.
    bridge.captureCycle(in.data(), n, 3);
    bridge.playbackCycle(out.data(), n, 3);
    EXPECT_EQ(bridge.bufferedFrames(), n);
    EXPECT_EQ(bridge.overloads(), 1u);
    // From then on one cycle stays queued, as before.
    bridge.captureCycle(in.data(), n, 4);
    bridge.playbackCycle(out.data(), n, 4);
    EXPECT_EQ(bridge.bufferedFrames(), n);
    EXPECT_EQ(bridge.overloads(), 1u);
}

TEST(SpscRingDiscard, DropsOnlyWhatIsThere)
{
    quorel::pipewire::SpscRing ring(1, 8);
    const float in[5] = {1, 2, 3, 4, 5};
    ring.write(in, 5);
    EXPECT_EQ(ring.discard(3), 3u);
    float out[2];
    ASSERT_EQ(ring.read(out, 2), 2u);
    EXPECT_EQ(out[0], 4.0f);
    EXPECT_EQ(ring.discard(4), 0u);
}

namespace {
constexpr uint64_t msNS = 1000000;
// Capture cycles of `frames` at 48 kHz, each `stepNS` after the one before, from `startNS`.
uint64_t captureCycles(RealtimeBridge& bridge, int count, uint32_t frames, uint64_t startNS, uint64_t stepNS)
{
    std::vector<float> in(size_t(frames) * 2, 0.1f), out(size_t(frames) * 2);
    uint64_t now = startNS;
    for (int i = 0; i < count; ++i, now += stepNS) {
        bridge.captureCycle(in.data(), frames, 0, now);
        bridge.playbackCycle(out.data(), frames, 0);
    }
    return now;
}
}  // namespace

TEST(RealtimeBridgeStalls, AStalledGraphCountsTheCyclesThatNeverCame)
{
    RealtimeBridge bridge(2, 2);
    bridge.setSampleRate(48000);
    const uint64_t period = 1024 * 1000000000ull / 48000;  // 21.33 ms
    uint64_t now = captureCycles(bridge, 20, 1024, 1000 * msNS, period);
    EXPECT_EQ(bridge.missedCycles(), 0u);
    EXPECT_EQ(bridge.overloads(), 0u);
    // The graph stops for 4 s (a stopped server, a session manager restarting), then runs on.
    now += 4000 * msNS;
    captureCycles(bridge, 5, 1024, now, period);
    EXPECT_EQ(bridge.missedCycles(), 188u);  // 4021 ms between two cycles: 188 cycles missed
    EXPECT_EQ(bridge.overloads(), 188u);
}

TEST(RealtimeBridgeStalls, LateCallbacksWithinTwoCyclesAreNoDropout)
{
    RealtimeBridge bridge(2, 2);
    bridge.setSampleRate(48000);
    const uint64_t p = 256 * 1000000000ull / 48000;  // 5.33 ms
    const uint64_t t0 = 1000 * msNS;
    // On time, then one callback late by most of a cycle, the next on time again.
    for (uint64_t t : {t0, t0 + p, t0 + 2 * p, t0 + 3 * p + p * 9 / 10, t0 + 4 * p, t0 + 5 * p})
        captureCycles(bridge, 1, 256, t, 0);
    EXPECT_EQ(bridge.missedCycles(), 0u);
    // A callback that comes four cycles after the one before: three never came.
    captureCycles(bridge, 1, 256, t0 + 9 * p, 0);
    EXPECT_EQ(bridge.missedCycles(), 3u);
}

TEST(RealtimeBridgeStalls, WithoutARateOrATimeNothingIsCounted)
{
    RealtimeBridge bridge(2, 2);
    captureCycles(bridge, 2, 1024, 1000 * msNS, 5000 * msNS);  // no rate told
    bridge.setSampleRate(48000);
    captureCycles(bridge, 2, 1024, 0, 0);  // no times told
    EXPECT_EQ(bridge.missedCycles(), 0u);
}

TEST(RealtimeBridgeStalls, ResetForgetsTheLastCycleTime)
{
    RealtimeBridge bridge(2, 2);
    bridge.setSampleRate(48000);
    captureCycles(bridge, 2, 1024, 1000 * msNS, 21 * msNS);
    bridge.reset();  // stopped, started again much later
    captureCycles(bridge, 2, 1024, 60000 * msNS, 21 * msNS);
    EXPECT_EQ(bridge.missedCycles(), 0u);
}

TEST(RealtimeBridge, TheFirstPlaybackCycleSizeIsKeptUntilTheNextReset)
{
    RealtimeBridge bridge(2, 2);
    EXPECT_EQ(bridge.firstPlaybackFrames(), 0u);
    std::vector<float> out(8192 * 2);
    bridge.playbackCycle(out.data(), 8192);
    bridge.playbackCycle(out.data(), 1024);
    EXPECT_EQ(bridge.firstPlaybackFrames(), 8192u);
    EXPECT_EQ(bridge.lastPlaybackFrames(), 1024u);
    bridge.reset();
    EXPECT_EQ(bridge.firstPlaybackFrames(), 0u);
    bridge.playbackCycle(out.data(), 256);
    EXPECT_EQ(bridge.firstPlaybackFrames(), 256u);
}
