#include "PlatformEffectUnit.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

namespace quorel {

namespace {

constexpr int32_t capabilities[] = {1, 1, 2, 2};

// Whether any sample is invalid (all exponent bits set: infinite or not a number). A bit test
// holds under any floating-point mode and vectorises; only read, so clean samples (nearly
// always) are not written back.
[[gnu::always_inline]] inline bool anyInvalid(const float* x, uint32_t count)
{
    uint32_t invalid = 0;
    for (uint32_t i = 0; i < count; ++i)
        invalid |= uint32_t((std::bit_cast<uint32_t>(x[i]) & 0x7f800000u) == 0x7f800000u);
    return invalid != 0;
}

bool anyInvalidPortable(const float* x, uint32_t count) { return anyInvalid(x, count); }

#if defined(__x86_64__)
__attribute__((target("avx2"))) bool anyInvalidWide(const float* x, uint32_t count) { return anyInvalid(x, count); }
#endif

using InvalidScan = bool (*)(const float*, uint32_t);

InvalidScan chooseInvalidScan()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return anyInvalidWide;
#endif
    return anyInvalidPortable;
}

// Decided once, when the library is loaded.
const InvalidScan invalidScan = chooseInvalidScan();

}  // namespace

PlatformEffectUnit::PlatformEffectUnit(const AudioComponentDescription& description)
    : AudioUnit(description)
{
}

std::span<const int32_t> PlatformEffectUnit::channelCapabilities() const { return capabilities; }

UnitError PlatformEffectUnit::allocateRenderResources()
{
    const AudioFormat& format = outputBus().format();
    if ((format.channelCount != 1 && format.channelCount != 2) || !format.isStandard()
        || !(format == inputBus().format()))
        return UnitError::osStatus(status::formatNotSupported);
    if (UnitError error = AudioUnit::allocateRenderResources()) return error;
    channels_ = format.channelCount;
    capacity_ = maximumFramesToRender();
    try {
        scratch_.assign(size_t(channels_) * capacity_, 0.0f);
        allocateState(format.sampleRate, capacity_);
    } catch (const std::bad_alloc&) {
        deallocateRenderResources();
        return UnitError::outOfMemory();
    }
    resetState();
    return {};
}

void PlatformEffectUnit::deallocateRenderResources()
{
    releaseState();
    scratch_.clear();
    scratch_.shrink_to_fit();
    AudioUnit::deallocateRenderResources();
}

Status PlatformEffectUnit::internalRender(RenderActionFlags& actionFlags,
                                          const AudioTimeStamp& timestamp, uint32_t frameCount,
                                          int64_t, AudioBufferList& outputData,
                                          const PullInput& pullInput) noexcept
{
    if (!pullInput) return status::noConnection;
    if (frameCount > capacity_) return status::tooManyFramesToProcess;
    if (outputData.numberBuffers != channels_) return status::formatNotSupported;
    for (uint32_t c = 0; c < channels_; ++c) {
        AudioBuffer& buffer = outputData.buffers[c];
        if (!buffer.data) buffer.data = scratch_.data() + size_t(c) * capacity_;
        buffer.dataByteSize = frameCount * uint32_t(sizeof(float));
    }
    if (const Status pulled = pullInput(actionFlags, timestamp, frameCount, 0, outputData))
        return pulled;
    // Bit tests (all exponent bits set: infinite or not a number; any magnitude bit: not
    // silent) hold under any floating-point mode and vectorise.
    float* data[2] = {};
    for (uint32_t c = 0; c < channels_; ++c) {
        data[c] = outputData.buffers[c].samples();
        if (!data[c]) return status::noConnection;
        float* x = data[c];
        if (invalidScan(x, frameCount))
            for (uint32_t i = 0; i < frameCount; ++i)
                x[i] = (std::bit_cast<uint32_t>(x[i]) & 0x7f800000u) == 0x7f800000u ? 0.0f : x[i];
    }
    process(data, channels_, frameCount);
    // Audible once any sample is: the scan stops at the first, at once for most sound.
    bool audible = false;
    for (uint32_t c = 0; c < channels_ && !audible; ++c) {
        const float* x = data[c];
        for (uint32_t start = 0; start < frameCount && !audible; start += 64) {
            const uint32_t end = std::min(frameCount, start + 64);
            uint32_t magnitude = 0;
            for (uint32_t i = start; i < end; ++i) magnitude |= std::bit_cast<uint32_t>(x[i]) & 0x7fffffffu;
            audible = magnitude != 0;
        }
    }
    if (audible) actionFlags &= ~renderFlags::outputIsSilence;
    return status::ok;
}

}  // namespace quorel
