#pragma once

#include <cstdint>

namespace quorel {

// Sample representation of a stream, as the host's buses describe it.
enum class CommonFormat : uint8_t { other, float32, float64, int16, int32 };

// Format of a bus: rate, channel count, sample type and layout.
struct AudioFormat {
    double sampleRate = 0;
    uint32_t channelCount = 0;
    CommonFormat commonFormat = CommonFormat::float32;
    bool interleaved = false;

    // The format every unit renders in: deinterleaved 32-bit float.
    static AudioFormat standard(double sampleRate, uint32_t channels)
    {
        return {sampleRate, channels, CommonFormat::float32, false};
    }

    bool isStandard() const { return commonFormat == CommonFormat::float32 && !interleaved; }
    bool operator==(const AudioFormat&) const = default;
};

}  // namespace quorel
