#include "RealtimeBridge.h"

#include <algorithm>
#include <cstring>

namespace quorel::pipewire {

RealtimeBridge::RealtimeBridge(uint32_t inputChannels, uint32_t outputChannels)
    : inputChannels_(std::max(inputChannels, 1u)),
      outputChannels_(std::max(outputChannels, 1u)),
      ring_(outputChannels_, 4 * largestCycle),
      scratch_(size_t(sliceFrames) * outputChannels_, 0.0f)
{
}

void RealtimeBridge::setProcessor(ProcessFunction function, void* context)
{
    context_.store(context, std::memory_order_relaxed);
    function_.store(function, std::memory_order_release);
}

void RealtimeBridge::reset()
{
    ring_.clear();
    flowing_.store(false, std::memory_order_release);
    settled_.store(false, std::memory_order_relaxed);
    lastCaptureCycle_.store(0, std::memory_order_relaxed);
    lastCaptureNS_.store(0, std::memory_order_relaxed);
    firstPlaybackFrames_.store(0, std::memory_order_relaxed);
}

void RealtimeBridge::captureCycle(const float* input, uint32_t frames, uint64_t cycle, uint64_t nowNS)
{
    captureCycles_.fetch_add(1, std::memory_order_relaxed);
    const uint32_t rate = sampleRate_.load(std::memory_order_relaxed);
    const uint64_t lastNS = lastCaptureNS_.exchange(nowNS, std::memory_order_relaxed);
    if (rate > 0 && frames > 0 && lastNS > 0 && nowNS > lastNS) {
        const uint64_t periodNS = uint64_t(frames) * 1000000000ull / rate;
        const uint64_t gap = nowNS - lastNS;
        if (periodNS > 0 && gap > 2 * periodNS)
            missedCycles_.fetch_add((gap + periodNS / 2) / periodNS - 1, std::memory_order_relaxed);
    }
    const ProcessFunction function = function_.load(std::memory_order_acquire);
    void* const context = context_.load(std::memory_order_relaxed);
    bool overflow = false;
    if (!flowing_.load(std::memory_order_relaxed)) {
        ring_.write(nullptr, std::min(frames, ring_.capacity() / 2));
        flowing_.store(true, std::memory_order_release);
    }
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(frames - done, sliceFrames);
        if (function)
            function(context, input ? input + size_t(done) * inputChannels_ : nullptr,
                     inputChannels_, scratch_.data(), outputChannels_, n);
        else
            std::memset(scratch_.data(), 0, size_t(n) * outputChannels_ * sizeof(float));
        if (ring_.write(scratch_.data(), n) < n) overflow = true;
        done += n;
    }
    if (overflow) overloads_.fetch_add(1, std::memory_order_relaxed);
    lastCaptureCycle_.store(cycle, std::memory_order_release);
}

void RealtimeBridge::playbackCycle(float* output, uint32_t frames, uint64_t cycle)
{
    playbackCycles_.fetch_add(1, std::memory_order_relaxed);
    lastPlaybackFrames_.store(frames, std::memory_order_relaxed);
    if (firstPlaybackFrames_.load(std::memory_order_relaxed) == 0)
        firstPlaybackFrames_.store(frames, std::memory_order_relaxed);
    uint32_t got = 0;
    if (flowing_.load(std::memory_order_acquire)) {
        const bool capturedThisCycle =
            cycle != 0 && lastCaptureCycle_.load(std::memory_order_acquire) == cycle;
        const uint32_t expected = capturedThisCycle ? 2 * frames : frames;
        const uint32_t queued = ring_.readable();
        bool overload = queued > expected && ring_.discard(queued - expected) > 0
                        && settled_.load(std::memory_order_relaxed);
        got = ring_.read(output, frames);
        overload = overload || got < frames;
        settled_.store(true, std::memory_order_relaxed);
        if (overload) overloads_.fetch_add(1, std::memory_order_relaxed);
    }
    std::memset(output + size_t(got) * outputChannels_, 0,
                size_t(frames - got) * outputChannels_ * sizeof(float));
}

}  // namespace quorel::pipewire
