#include "AudioNode.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quorel {

AudioNode::~AudioNode() = default;

AudioFormat AudioNode::inputFormat(uint32_t bus) const
{
    return bus < inputs_.size() ? inputs_[bus].format : AudioFormat{};
}

UnitError AudioNode::allocate(uint32_t maximumFrames)
{
    const uint32_t channels = outputFormat_.channelCount;
    if (channels > AudioBufferList::maximumBuffers) return UnitError::osStatus(status::formatNotSupported);
    try {
        storage_.assign(size_t(channels) * maximumFrames, 0.0f);
    } catch (const std::bad_alloc&) {
        return UnitError::outOfMemory();
    }
    output_.numberBuffers = channels;
    for (uint32_t c = 0; c < channels; ++c) {
        output_.buffers[c].numberChannels = 1;
        output_.buffers[c].dataByteSize = 0;
        output_.buffers[c].data = storage_.data() + size_t(c) * maximumFrames;
    }
    renderedCycle_ = UINT64_MAX;
    return {};
}

void AudioNode::deallocate()
{
    storage_.clear();
    storage_.shrink_to_fit();
    output_ = {};
}

Status AudioNode::pullInput(uint32_t bus, uint32_t frames, const AudioTimeStamp& timestamp,
                            const AudioBufferList*& data) noexcept
{
    if (bus >= inputs_.size() || !inputs_[bus].source) return status::noConnection;
    return inputs_[bus].source->pull(cycle_, frames, timestamp, data);
}

Status AudioNode::pullInputInPlace(uint32_t bus, uint32_t frames, const AudioTimeStamp& timestamp,
                                   AudioBufferList& output) noexcept
{
    const AudioBufferList* in = nullptr;
    if (const Status s = pullInput(bus, frames, timestamp, in)) return s;
    bool shared = inputs_[bus].source->consumers_ == 1 && in->numberBuffers == output.numberBuffers;
    for (uint32_t c = 0; shared && c < in->numberBuffers; ++c) shared = in->buffers[c].data != nullptr;
    if (!shared) {
        copyChannels(*in, output, frames);
        return status::ok;
    }
    for (uint32_t c = 0; c < output.numberBuffers; ++c) {
        output.buffers[c].data = in->buffers[c].data;
        output.buffers[c].dataByteSize = frames * uint32_t(sizeof(float));
    }
    return status::ok;
}

Status AudioNode::pull(uint64_t cycle, uint32_t frames, const AudioTimeStamp& timestamp,
                       const AudioBufferList*& data) noexcept
{
    if (renderedCycle_ != cycle) {
        renderedCycle_ = cycle;
        cycle_ = cycle;
        // Point the list back at our storage (a render may have redirected it).
        const uint32_t capacity = output_.numberBuffers ? uint32_t(storage_.size() / output_.numberBuffers) : 0;
        for (uint32_t c = 0; c < output_.numberBuffers; ++c) {
            output_.buffers[c].data = storage_.data() + size_t(c) * capacity;
            output_.buffers[c].dataByteSize = frames * uint32_t(sizeof(float));
        }
        renderedStatus_ = render(frames, timestamp, output_);
    }
    data = &output_;
    return renderedStatus_;
}

void copyChannels(const AudioBufferList& from, AudioBufferList& to, uint32_t frames) noexcept
{
    const uint32_t in = from.numberBuffers, out = to.numberBuffers;
    const size_t bytes = size_t(frames) * sizeof(float);
    if (in == 0) {
        for (uint32_t c = 0; c < out; ++c) std::memset(to.buffers[c].samples(), 0, bytes);
        return;
    }
    for (uint32_t c = 0; c < out; ++c) {
        float* dst = to.buffers[c].samples();
        if (in == 1 || (in == out)) {
            const float* src = from.buffers[in == 1 ? 0 : c].samples();
            if (src && src != dst) std::memcpy(dst, src, bytes);
            if (!src) std::memset(dst, 0, bytes);
        } else if (out == 1) {
            std::fill_n(dst, frames, 0.0f);
            for (uint32_t s = 0; s < in; ++s) {
                const float* src = from.buffers[s].samples();
                if (!src) continue;
                for (uint32_t i = 0; i < frames; ++i) dst[i] += src[i];
            }
            const float scale = 1.0f / float(in);
            for (uint32_t i = 0; i < frames; ++i) dst[i] *= scale;
        } else if (c < in && from.buffers[c].samples()) {
            std::memcpy(dst, from.buffers[c].samples(), bytes);
        } else {
            std::memset(dst, 0, bytes);
        }
    }
}

}  // namespace quorel
