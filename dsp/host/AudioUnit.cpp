#include "AudioUnit.h"

#include <algorithm>
#include <cmath>

namespace quorel {

AudioUnit::AudioUnit(const AudioComponentDescription& description)
    : description_(description), inputBus_(*this, AudioFormat::standard(48000, 2)),
      outputBus_(*this, AudioFormat::standard(48000, 2))
{
}

AudioUnit::~AudioUnit() = default;

Status AudioUnit::setMaximumFramesToRender(uint32_t frames)
{
    if (allocated_) return status::initialized;
    if (frames == 0) return status::parameterError;
    maximumFramesToRender_ = frames;
    return status::ok;
}

UnitError AudioUnit::allocateRenderResources()
{
    if (allocated_) deallocateRenderResources();
    const AudioFormat& in = inputBus_.format();
    const AudioFormat& out = outputBus_.format();
    if (in.channelCount == 0 || out.channelCount == 0 || !(in.sampleRate > 0) || !(out.sampleRate > 0))
        return UnitError::osStatus(status::formatNotSupported);
    const auto capabilities = channelCapabilities();
    if (!capabilities.empty()) {
        bool supported = false;
        for (size_t i = 0; i + 1 < capabilities.size(); i += 2) {
            supported =
                supported
                || (capabilities[i] == int32_t(in.channelCount) && capabilities[i + 1] == int32_t(out.channelCount));
        }
        if (!supported) return UnitError::osStatus(status::formatNotSupported);
    }
    allocated_ = true;
    return {};
}

void AudioUnit::deallocateRenderResources() { allocated_ = false; }

Status AudioUnit::render(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp, uint32_t frameCount,
                         int64_t outputBusNumber, AudioBufferList& outputData, PullInput pullInput) noexcept
{
    if (!allocated_) return status::uninitialized;
    return internalRender(actionFlags, timestamp, frameCount, outputBusNumber, outputData, pullInput);
}

void AudioUnit::defineParameters(std::vector<ParameterInfo> parameters)
{
    parameters_ = std::move(parameters);
    values_.clear();
    for (const ParameterInfo& info : parameters_) values_.push_back(info.defaultValue);
}

const ParameterInfo* AudioUnit::findParameter(uint32_t id, size_t& index) const
{
    const auto found =
        std::find_if(parameters_.begin(), parameters_.end(), [id](const ParameterInfo& info) { return info.id == id; });
    if (found == parameters_.end()) return nullptr;
    index = size_t(found - parameters_.begin());
    return &*found;
}

Status AudioUnit::parameterInfo(uint32_t id, ParameterInfo& info) const
{
    size_t index = 0;
    const ParameterInfo* found = findParameter(id, index);
    if (!found) return status::invalidParameter;
    info = *found;
    return status::ok;
}

Status AudioUnit::setParameter(uint32_t id, float value)
{
    size_t index = 0;
    const ParameterInfo* found = findParameter(id, index);
    if (!found) return status::invalidParameter;
    if (std::isnan(value)) return status::parameterError;
    const float stored = std::clamp(value, found->minValue, found->maxValue);
    values_[index] = stored;
    parameterChanged(id, stored);
    return status::ok;
}

Status AudioUnit::parameter(uint32_t id, float& value) const
{
    size_t index = 0;
    if (!findParameter(id, index)) return status::invalidParameter;
    value = values_[index];
    return status::ok;
}

}  // namespace quorel
