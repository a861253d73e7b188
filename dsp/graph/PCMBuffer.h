#pragma once

#include "AudioBufferList.h"
#include "AudioFormat.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorel {

// A block of deinterleaved 32-bit float audio: a format, a capacity in frames and the number
// of valid frames. Storage is allocated whole (zero-filled) at construction.
class PCMBuffer {
public:
    // Null when the format is not deinterleaved 32-bit float with 1 to 8 channels at a
    // positive rate, when the capacity is 0, or when memory runs out.
    static std::unique_ptr<PCMBuffer> make(const AudioFormat& format, uint32_t frameCapacity);

    const AudioFormat& format() const { return format_; }
    uint32_t frameCapacity() const { return capacity_; }
    uint32_t frameLength() const { return length_; }
    // Clamped to the capacity; also sets each buffer's byte size.
    void setFrameLength(uint32_t frames);

    float* channel(uint32_t index) { return channels_[index].data(); }
    const float* channel(uint32_t index) const { return channels_[index].data(); }
    // The buffers as a list, pointing at this buffer's storage.
    AudioBufferList& mutableAudioBufferList();

private:
    PCMBuffer(const AudioFormat& format, uint32_t capacity);

    AudioFormat format_;
    uint32_t capacity_;
    uint32_t length_ = 0;
    std::vector<std::vector<float>> channels_;
    AudioBufferList list_;
};

}  // namespace quorel
