#pragma once

#include "MultibandCompressor.h"
#include "PlatformEffectUnit.h"

namespace quorel {

// The platform's four-band compressor ('mcmp') as an effect unit.
class MultibandCompressorUnit : public PlatformEffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("mcmp");

    explicit MultibandCompressorUnit(
        const AudioComponentDescription& description = {effectComponentType, subtype,
                                                        platformManufacturer, 0, 0});

protected:
    void parameterChanged(uint32_t id, float value) override { dsp_.setParameter(id, value); }
    void holdParameters() override { dsp_.beginUpdate(); }
    void releaseParameters() override { dsp_.endUpdate(); }
    void allocateState(double sampleRate, uint32_t maximumFrames) override
    {
        dsp_.prepare(sampleRate, maximumFrames);
    }
    void resetState() override { dsp_.reset(); }
    void process(float* const* data, uint32_t channels, uint32_t frames) noexcept override
    {
        dsp_.process(data, channels, frames);
    }

private:
    MultibandCompressor dsp_;
};

}  // namespace quorel
