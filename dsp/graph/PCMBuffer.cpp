#include "PCMBuffer.h"

#include <algorithm>
#include <new>

namespace quorel {

std::unique_ptr<PCMBuffer> PCMBuffer::make(const AudioFormat& format, uint32_t frameCapacity)
{
    if (!format.isStandard() || format.channelCount == 0 || format.channelCount > AudioBufferList::maximumBuffers
        || !(format.sampleRate > 0) || frameCapacity == 0)
        return nullptr;
    try {
        return std::unique_ptr<PCMBuffer>(new PCMBuffer(format, frameCapacity));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

PCMBuffer::PCMBuffer(const AudioFormat& format, uint32_t capacity)
    : format_(format), capacity_(capacity), channels_(format.channelCount, std::vector<float>(capacity, 0.0f))
{
}

void PCMBuffer::setFrameLength(uint32_t frames) { length_ = std::min(frames, capacity_); }

AudioBufferList& PCMBuffer::mutableAudioBufferList()
{
    list_.numberBuffers = format_.channelCount;
    for (uint32_t c = 0; c < format_.channelCount; ++c) {
        list_.buffers[c].numberChannels = 1;
        list_.buffers[c].dataByteSize = length_ * uint32_t(sizeof(float));
        list_.buffers[c].data = channels_[c].data();
    }
    return list_;
}

}  // namespace quorel
