#pragma once

#include "AudioUnit.h"
#include "RenderBuffer.h"

#include <array>
#include <cstdint>

namespace quorel {

// Manufacturer code of the units the audio platform itself provides (equalizer, dynamics
// processor, multiband compressor), as opposed to the system's own units.
inline constexpr FourCharCode platformManufacturer = fourCharCode("appl");

// Description of one of the platform's effect units.
constexpr AudioComponentDescription platformDescription(FourCharCode subtype)
{
    return {effectComponentType, subtype, platformManufacturer, 0, 0};
}

// What every effect unit shares: buses of 1 or 2 deinterleaved 32-bit float channels (input
// format equal to output format), at most 4096 frames per call by default, per-channel scratch
// buffers for hosts that pass none, and the render contract:
//
//   no pull-input -> -10876; more frames than allocated for -> -10874; a buffer count other
//   than the channel count -> -10868; null data pointers -> the unit's scratch; pull the input
//   into the output buffers (a failing pull's status is returned, nothing processed); process
//   in place; clear the output-is-silence flag when any output sample is not 0; return 0.
//
// How the input is taken is the unit's `Input`: the system's own units sanitize in their own
// kernels and render with denormals flushed; the platform's units take samples that are not
// finite as 0 and keep the caller's floating-point mode.
//
// A unit implements allocateState() (its own buffers and rate-dependent values, for blocks of
// up to capacity() frames; false or std::bad_alloc on out of memory), releaseState(),
// resetState() (signal state to rest; must cope with released buffers) and process() (in
// place; returns more than 0 when any output sample is not 0: the own units their output's
// peak magnitude, the platform's units audibleLevel()).
class EffectUnit : public AudioUnit {
public:
    enum class Input { flushDenormals, zeroInvalidSamples };

    std::span<const int32_t> channelCapabilities() const override;

    // -10868 (unsupported format) before anything is allocated; POSIX 12 when memory runs out,
    // with everything allocated so far freed again.
    UnitError allocateRenderResources() override;
    void deallocateRenderResources() override;
    void reset() override;

    uint32_t channels() const { return channels_; }
    uint32_t capacity() const { return capacity_; }

protected:
    explicit EffectUnit(const AudioComponentDescription& description, Input input = Input::flushDenormals);

    virtual bool allocateState(double sampleRate) = 0;
    virtual void releaseState() {}
    virtual void resetState() = 0;
    virtual float process(float* const* data, uint32_t frames) noexcept = 0;

    // 1 when any of the first `frames` samples of the unit's channels is not 0, else 0: for
    // units that do not follow their output's peak. Stops at the first, at once for most sound.
    float audibleLevel(const float* const* data, uint32_t frames) const noexcept;

private:
    Status internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp, uint32_t frameCount,
                          int64_t outputBusNumber, AudioBufferList& outputData,
                          const PullInput& pullInput) noexcept final;

    const Input input_;
    uint32_t channels_ = 0;
    uint32_t capacity_ = 0;
    std::array<SampleBuffer, 2> scratch_;
};

}  // namespace quorel
