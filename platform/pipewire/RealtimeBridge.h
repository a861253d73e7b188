#pragma once

#include "SpscRing.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace quorel::pipewire {

// Processes one cycle: `input` holds `frames` interleaved frames of `inputChannels` (null when
// the cycle brought no data), `output` receives `frames` interleaved frames of
// `outputChannels`. Called on the real-time thread: must not block, allocate or throw.
using ProcessFunction = void (*)(void* context, const float* input, uint32_t inputChannels,
                                 float* output, uint32_t outputChannels, uint32_t frames);

// What runs inside the two stream callbacks: the capture side processes each captured cycle
// and hands the frames to the playback side through a lock-free ring. A cycle in which the
// ring ran empty (playback) or full (capture) counts as an overload.
//
// The two callbacks run once in every cycle of the same graph, in either order. Playback plays
// what was captured in the previous cycle, so the bridge adds exactly one cycle of latency
// whatever the order: the first captured cycle is preceded by one cycle of silence, and when
// the playback side finds more than it should (two cycles when the capture already ran in this
// cycle, else one) the oldest frames are dropped, so that a missed cycle never adds latency for
// good. Such a drop, after the start, also counts as an overload. `cycle` identifies the graph
// cycle (its clock position); 0 when unknown.
class RealtimeBridge {
public:
    // Largest cycle handled in one piece (the processing chain renders at most 4096 frames per
    // call); longer cycles, up to the server's largest quantum of 8192, are processed in slices.
    static constexpr uint32_t sliceFrames = 4096;
    static constexpr uint32_t largestCycle = 8192;

    RealtimeBridge(uint32_t inputChannels, uint32_t outputChannels);

    uint32_t inputChannels() const { return inputChannels_; }
    uint32_t outputChannels() const { return outputChannels_; }

    // Main thread, while no cycle runs: the processor (null = silence) and a fresh start.
    void setProcessor(ProcessFunction function, void* context);
    void reset();
    // The graph's sample rate, which turns the time between two captured cycles into cycles
    // (0 = unknown: stalls are not counted).
    void setSampleRate(uint32_t rate) { sampleRate_.store(rate, std::memory_order_relaxed); }

    // Real-time side. `nowNS` is the monotonic time the cycle's callback started (0 = unknown);
    // a captured cycle that comes more than two cycles after the one before counts the cycles
    // that never came as missed: the graph stalled or this client's thread ran too late.
    void captureCycle(const float* input, uint32_t frames, uint64_t cycle = 0, uint64_t nowNS = 0);
    void playbackCycle(float* output, uint32_t frames, uint64_t cycle = 0);

    // Readings, from any thread. Overloads: cycles in which the ring ran empty or full, and
    // missed cycles.
    uint64_t overloads() const
    {
        return overloads_.load(std::memory_order_relaxed) + missedCycles_.load(std::memory_order_relaxed);
    }
    uint64_t missedCycles() const { return missedCycles_.load(std::memory_order_relaxed); }
    // The first playback cycle's size since the last reset (0 before it ran).
    uint32_t firstPlaybackFrames() const { return firstPlaybackFrames_.load(std::memory_order_relaxed); }

    uint64_t captureCycles() const { return captureCycles_.load(std::memory_order_relaxed); }
    uint64_t playbackCycles() const { return playbackCycles_.load(std::memory_order_relaxed); }
    uint32_t lastPlaybackFrames() const { return lastPlaybackFrames_.load(std::memory_order_relaxed); }
    uint32_t bufferedFrames() const { return ring_.readable(); }

private:
    uint32_t inputChannels_;
    uint32_t outputChannels_;
    SpscRing ring_;
    std::vector<float> scratch_;
    std::atomic<ProcessFunction> function_{nullptr};
    std::atomic<void*> context_{nullptr};
    std::atomic<bool> flowing_{false};  // the first captured cycle has reached the ring
    std::atomic<bool> settled_{false};  // the playback side has taken its first frames
    std::atomic<uint64_t> lastCaptureCycle_{0};
    std::atomic<uint64_t> overloads_{0};
    std::atomic<uint64_t> captureCycles_{0};
    std::atomic<uint64_t> playbackCycles_{0};
    std::atomic<uint32_t> lastPlaybackFrames_{0};
    std::atomic<uint32_t> firstPlaybackFrames_{0};
    std::atomic<uint32_t> sampleRate_{0};
    std::atomic<uint64_t> lastCaptureNS_{0};
    std::atomic<uint64_t> missedCycles_{0};
};

}  // namespace quorel::pipewire
