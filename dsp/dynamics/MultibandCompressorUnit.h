#pragma once

#include "MultibandCompressor.h"
#include "EffectUnit.h"

namespace quorel {

// The platform's four-band compressor ('mcmp') as an effect unit.
class MultibandCompressorUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("mcmp");

    explicit MultibandCompressorUnit(const AudioComponentDescription& description = {effectComponentType, subtype,
                                                                                     platformManufacturer, 0, 0});

protected:
    void parameterChanged(uint32_t id, float value) override { dsp_.setParameter(id, value); }
    void holdParameters() override { dsp_.beginUpdate(); }
    void releaseParameters() override { dsp_.endUpdate(); }
    bool allocateState(double sampleRate) override
    {
        dsp_.prepare(sampleRate, capacity());
        return true;
    }
    void resetState() override { dsp_.reset(); }
    float process(float* const* data, uint32_t frames) noexcept override
    {
        dsp_.process(data, channels(), frames);
        return audibleLevel(data, frames);
    }

private:
    MultibandCompressor dsp_;
};

}  // namespace quorel
