#pragma once

#include "DynamicsProcessor.h"
#include "PlatformEffectUnit.h"

namespace quorel {

// The platform's single-band dynamics processor ('dcmp') as an effect unit.
class DynamicsProcessorUnit : public PlatformEffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("dcmp");

    explicit DynamicsProcessorUnit(
        const AudioComponentDescription& description = {effectComponentType, subtype,
                                                        platformManufacturer, 0, 0});

protected:
    void parameterChanged(uint32_t id, float value) override { dsp_.setParameter(id, value); }
    void holdParameters() override { dsp_.beginUpdate(); }
    void releaseParameters() override { dsp_.endUpdate(); }
    void allocateState(double sampleRate, uint32_t) override { dsp_.prepare(sampleRate); }
    void resetState() override { dsp_.reset(); }
    void process(float* const* data, uint32_t channels, uint32_t frames) noexcept override
    {
        dsp_.process(data, channels, frames);
    }

private:
    DynamicsProcessor dsp_;
};

}  // namespace quorel
