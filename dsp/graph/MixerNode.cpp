#include "MixerNode.h"

#include <cmath>
#include <cstring>

namespace quorel {

void MixerNode::setOutputVolume(float volume)
{
    if (std::isfinite(volume)) volume_.publish(std::max(volume, 0.0f));
}

UnitError MixerNode::allocate(uint32_t maximumFrames)
{
    const AudioFormat& out = outputFormat();
    for (const Connection& c : inputs())
        if (c.source && (!c.format.isStandard() || c.format.sampleRate != out.sampleRate))
            return UnitError::osStatus(status::formatNotSupported);
    if (UnitError e = AudioNode::allocate(maximumFrames)) return e;
    scratch_.assign(size_t(out.channelCount) * maximumFrames, 0.0f);
    scratchList_.numberBuffers = out.channelCount;
    for (uint32_t c = 0; c < out.channelCount; ++c) {
        scratchList_.buffers[c].numberChannels = 1;
        scratchList_.buffers[c].data = scratch_.data() + size_t(c) * maximumFrames;
    }
    return {};
}

Status MixerNode::render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept
{
    bool first = true;
    for (uint32_t bus = 0; bus < inputs().size(); ++bus) {
        if (!inputs()[bus].source) continue;
        if (first) {
            if (const Status s = pullInputInPlace(bus, frames, timestamp, output)) return s;
            first = false;
            continue;
        }
        const AudioBufferList* in = nullptr;
        if (const Status s = pullInput(bus, frames, timestamp, in)) return s;
        // Added straight from the source where the channels agree, else mapped first.
        bool direct = in->numberBuffers == output.numberBuffers;
        for (uint32_t c = 0; direct && c < in->numberBuffers; ++c) direct = in->buffers[c].data != nullptr;
        if (!direct) {
            copyChannels(*in, scratchList_, frames);
            in = &scratchList_;
        }
        for (uint32_t c = 0; c < output.numberBuffers; ++c) {
            float* dst = output.buffers[c].samples();
            const float* src = in->buffers[c].samples();
            for (uint32_t i = 0; i < frames; ++i) dst[i] += src[i];
        }
    }
    if (first)
        for (uint32_t c = 0; c < output.numberBuffers; ++c)
            std::memset(output.buffers[c].samples(), 0, size_t(frames) * sizeof(float));
    volume_.acquire();
    const float volume = volume_.current();
    if (volume != 1)
        for (uint32_t c = 0; c < output.numberBuffers; ++c) {
            float* dst = output.buffers[c].samples();
            for (uint32_t i = 0; i < frames; ++i) dst[i] *= volume;
        }
    return status::ok;
}

}  // namespace quorel
