#pragma once

#include <array>
#include <cstdint>

namespace quorel {

// One buffer of a deinterleaved stream: one channel, dataByteSize bytes at data.
struct AudioBuffer {
    uint32_t numberChannels = 1;
    uint32_t dataByteSize = 0;
    void* data = nullptr;

    float* samples() const { return static_cast<float*>(data); }
};

// The buffers a render call writes, one per channel. A host may pass null data pointers; the
// unit then renders into buffers of its own and points the list at them.
struct AudioBufferList {
    static constexpr uint32_t maximumBuffers = 8;

    uint32_t numberBuffers = 0;
    std::array<AudioBuffer, maximumBuffers> buffers{};
};

}  // namespace quorel
