#pragma once

#include "AudioUnit.h"
#include "RenderBuffer.h"

#include <array>
#include <cstdint>

namespace quorel {

// What the system's own effect units share: buses of 1 or 2 deinterleaved 32-bit float
// channels (input format equal to output format), at most 4096 frames per call by default,
// per-channel scratch buffers for hosts that pass none, and the render contract:
//
//   no pull-input -> -10876; more frames than allocated for -> -10874; a buffer count other
//   than the channel count -> -10868; null data pointers -> the unit's scratch; pull the input
//   into the output buffers (a failing pull's status is returned, nothing processed); process
//   in place with denormals flushed; clear the output-is-silence flag when any output sample
//   is not 0; return 0.
//
// A unit implements allocateState() (its own buffers and rate-dependent values; false on out of
// memory), releaseState(), resetState() (signal state to rest; must cope with released
// buffers) and process() (in place, returns the peak magnitude of its output).
class EffectUnit : public AudioUnit {
public:
    std::span<const int32_t> channelCapabilities() const override;

    // -10868 (unsupported format) before anything is allocated; POSIX 12 when memory runs out,
    // with everything allocated so far freed again.
    UnitError allocateRenderResources() override;
    void deallocateRenderResources() override;
    void reset() override;

    uint32_t channels() const { return channels_; }
    uint32_t capacity() const { return capacity_; }

protected:
    explicit EffectUnit(const AudioComponentDescription& description);

    virtual bool allocateState(double sampleRate) = 0;
    virtual void releaseState() = 0;
    virtual void resetState() = 0;
    virtual float process(float* const* data, uint32_t frames) noexcept = 0;

private:
    Status internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp,
                          uint32_t frameCount, int64_t outputBusNumber, AudioBufferList& outputData,
                          const PullInput& pullInput) noexcept final;

    uint32_t channels_ = 0;
    uint32_t capacity_ = 0;
    std::array<SampleBuffer, 2> scratch_;
};

}  // namespace quorel
