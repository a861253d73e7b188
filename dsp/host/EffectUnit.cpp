#include "EffectUnit.h"

#include "DenormalGuard.h"

#include <algorithm>
#include <bit>
#include <new>

namespace quorel {

namespace {

constexpr int32_t capabilities[] = {1, 1, 2, 2};

// Bit tests (all exponent bits set: infinite or not a number; any magnitude bit: not silent)
// hold under any floating-point mode and vectorise.
[[gnu::always_inline]] inline bool isInvalid(float x)
{
    return (std::bit_cast<uint32_t>(x) & 0x7f800000u) == 0x7f800000u;
}

// Whether any sample is invalid. Only read, so clean samples (nearly always) are not written
// back.
[[gnu::always_inline]] inline bool anyInvalid(const float* x, uint32_t count)
{
    uint32_t invalid = 0;
    for (uint32_t i = 0; i < count; ++i) invalid |= uint32_t(isInvalid(x[i]));
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

void zeroInvalid(float* x, uint32_t count) noexcept
{
    if (invalidScan(x, count))
        for (uint32_t i = 0; i < count; ++i) x[i] = isInvalid(x[i]) ? 0.0f : x[i];
}

}  // namespace

EffectUnit::EffectUnit(const AudioComponentDescription& description, Input input)
    : AudioUnit(description), input_(input)
{
    setMaximumFramesToRender(4096);
}

std::span<const int32_t> EffectUnit::channelCapabilities() const { return capabilities; }

UnitError EffectUnit::allocateRenderResources()
{
    const AudioFormat& format = outputBus().format();
    if ((format.channelCount != 1 && format.channelCount != 2) || !format.isStandard()
        || !(format == inputBus().format()))
        return UnitError::osStatus(status::formatNotSupported);
    if (UnitError error = AudioUnit::allocateRenderResources()) return error;

    channels_ = format.channelCount;
    capacity_ = maximumFramesToRender();
    bool allocated = true;
    for (uint32_t channel = 0; channel < channels_; ++channel)
        allocated = allocated && scratch_[channel].allocate(capacity_);
    try {
        allocated = allocated && allocateState(format.sampleRate);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        deallocateRenderResources();
        return UnitError::outOfMemory();
    }
    resetState();
    return {};
}

void EffectUnit::deallocateRenderResources()
{
    releaseState();
    for (SampleBuffer& buffer : scratch_) buffer.release();
    AudioUnit::deallocateRenderResources();
}

void EffectUnit::reset()
{
    AudioUnit::reset();
    resetState();
}

float EffectUnit::audibleLevel(const float* const* data, uint32_t frames) const noexcept
{
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        const float* x = data[channel];
        for (uint32_t start = 0; start < frames; start += 64) {
            const uint32_t end = std::min(frames, start + 64);
            uint32_t magnitude = 0;
            for (uint32_t i = start; i < end; ++i) magnitude |= std::bit_cast<uint32_t>(x[i]) & 0x7fffffffu;
            if (magnitude != 0) return 1;
        }
    }
    return 0;
}

Status EffectUnit::internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp, uint32_t frameCount,
                                  int64_t /*outputBusNumber*/, AudioBufferList& outputData,
                                  const PullInput& pullInput) noexcept
{
    if (!pullInput) return status::noConnection;
    if (frameCount > capacity_) return status::tooManyFramesToProcess;
    if (outputData.numberBuffers != channels_) return status::formatNotSupported;

    for (uint32_t channel = 0; channel < channels_; ++channel) {
        AudioBuffer& buffer = outputData.buffers[channel];
        if (!buffer.data) buffer.data = scratch_[channel].data();
        buffer.dataByteSize = frameCount * uint32_t(sizeof(float));
    }
    if (const Status pulled = pullInput(actionFlags, timestamp, frameCount, 0, outputData)) return pulled;

    float* data[2] = {};
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        data[channel] = outputData.buffers[channel].samples();
        if (!data[channel]) return status::noConnection;
    }

    float level = 0;
    if (input_ == Input::flushDenormals) {
        DenormalGuard denormals;
        level = process(data, frameCount);
    } else {
        for (uint32_t channel = 0; channel < channels_; ++channel) zeroInvalid(data[channel], frameCount);
        level = process(data, frameCount);
    }
    if (level > 0) actionFlags &= ~renderFlags::outputIsSilence;
    return status::ok;
}

}  // namespace quorel
