#include "EffectUnit.h"

#include "DenormalGuard.h"

namespace quorel {

namespace {
constexpr int32_t capabilities[] = {1, 1, 2, 2};
}

EffectUnit::EffectUnit(const AudioComponentDescription& description) : AudioUnit(description)
{
    setMaximumFramesToRender(4096);
}

std::span<const int32_t> EffectUnit::channelCapabilities() const
{
    return capabilities;
}

UnitError EffectUnit::allocateRenderResources()
{
    const AudioFormat& format = outputBus().format();
    if ((format.channelCount != 1 && format.channelCount != 2) || !format.isStandard()
        || !(format == inputBus().format()))
        return UnitError::osStatus(status::formatNotSupported);
    if (UnitError error = AudioUnit::allocateRenderResources())
        return error;

    channels_ = format.channelCount;
    capacity_ = maximumFramesToRender();
    bool allocated = true;
    for (uint32_t channel = 0; channel < channels_; ++channel)
        allocated = allocated && scratch_[channel].allocate(capacity_);
    allocated = allocated && allocateState(format.sampleRate);
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
    for (SampleBuffer& buffer : scratch_)
        buffer.release();
    AudioUnit::deallocateRenderResources();
}

void EffectUnit::reset()
{
    AudioUnit::reset();
    resetState();
}

Status EffectUnit::internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp,
                                  uint32_t frameCount, int64_t /*outputBusNumber*/,
                                  AudioBufferList& outputData, const PullInput& pullInput) noexcept
{
    if (!pullInput)
        return status::noConnection;
    if (frameCount > capacity_)
        return status::tooManyFramesToProcess;
    if (outputData.numberBuffers != channels_)
        return status::formatNotSupported;

    for (uint32_t channel = 0; channel < channels_; ++channel) {
        AudioBuffer& buffer = outputData.buffers[channel];
        if (!buffer.data)
            buffer.data = scratch_[channel].data();
        buffer.dataByteSize = frameCount * uint32_t(sizeof(float));
    }
    if (const Status pulled = pullInput(actionFlags, timestamp, frameCount, 0, outputData))
        return pulled;

    float* data[2] = {};
    for (uint32_t channel = 0; channel < channels_; ++channel) {
        data[channel] = outputData.buffers[channel].samples();
        if (!data[channel])
            return status::noConnection;
    }

    DenormalGuard denormals;
    if (process(data, frameCount) > 0)
        actionFlags &= ~renderFlags::outputIsSilence;
    return status::ok;
}

}  // namespace quorel
