#pragma once

#include "AudioUnit.h"

#include <cstdint>
#include <vector>

namespace quorel {

// Manufacturer code of the units the audio platform itself provides (equalizer, dynamics
// processor, multiband compressor), as opposed to the system's own units.
inline constexpr FourCharCode platformManufacturer = fourCharCode("appl");

// Common frame of the platform's effect units: 1 or 2 deinterleaved 32-bit float channels,
// input format equal to output format, scratch buffers for hosts that pass none, input
// pulled in place, samples that are not finite processed as 0.
class PlatformEffectUnit : public AudioUnit {
public:
    std::span<const int32_t> channelCapabilities() const override;
    UnitError allocateRenderResources() override;
    void deallocateRenderResources() override;
    void reset() override { resetState(); }

protected:
    explicit PlatformEffectUnit(const AudioComponentDescription& description);

    virtual void allocateState(double sampleRate, uint32_t maximumFrames) = 0;  // may throw
    virtual void releaseState() {}
    virtual void resetState() = 0;
    virtual void process(float* const* data, uint32_t channels, uint32_t frames) noexcept = 0;

private:
    Status internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp,
                          uint32_t frameCount, int64_t outputBusNumber, AudioBufferList& outputData,
                          const PullInput& pullInput) noexcept final;

    uint32_t channels_ = 0;
    uint32_t capacity_ = 0;
    std::vector<float> scratch_;
};

}  // namespace quorel
