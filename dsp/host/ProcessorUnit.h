#pragma once

#include "EffectUnit.h"

#include <string>
#include <utility>

namespace quorel {

// An effect unit around one of our own processors (the equalizer, the compressors), which does
// the work: it publishes its own parameters to the render thread (beginUpdate() and endUpdate()
// hold them together), is prepared for the rate (and, when its prepare() takes it, for the
// unit's block size), reset, and processes the unit's channels in place. Samples that are not
// finite reach it as 0, and the unit reports audibleLevel().
//
// A processor whose parameters are numbered as the unit's (setParameter(id, value) and
// range(id)) gets each change as it is; a unit that numbers them otherwise maps them itself in
// parameterChanged().
template <typename Processor>
class ProcessorUnit : public EffectUnit {
protected:
    template <typename... Arguments>
    explicit ProcessorUnit(const AudioComponentDescription& description, Arguments&&... processorArguments)
        : EffectUnit(description, Input::zeroInvalidSamples), processor_(std::forward<Arguments>(processorArguments)...)
    {
    }

    Processor& processor() { return processor_; }
    const Processor& processor() const { return processor_; }

    // A row of the parameter table over the processor's range for `id`.
    static ParameterInfo parameterRow(uint32_t id, std::string name, uint32_t unit)
    {
        const auto range = Processor::range(id);
        return {id, std::move(name), range.minimum, range.maximum, range.initial, unit};
    }

    void parameterChanged(uint32_t id, float value) override
    {
        if constexpr (requires { processor_.setParameter(id, value); }) processor_.setParameter(id, value);
    }
    void holdParameters() override { processor_.beginUpdate(); }
    void releaseParameters() override { processor_.endUpdate(); }
    bool allocateState(double sampleRate) override
    {
        if constexpr (requires { processor_.prepare(sampleRate, capacity()); })
            processor_.prepare(sampleRate, capacity());
        else
            processor_.prepare(sampleRate);
        return true;
    }
    void resetState() override { processor_.reset(); }
    float process(float* const* data, uint32_t frames) noexcept override
    {
        processor_.process(data, channels(), frames);
        return audibleLevel(data, frames);
    }

private:
    Processor processor_;
};

}  // namespace quorel
