#include "DynamicsProcessorUnit.h"

namespace quorel {

DynamicsProcessorUnit::DynamicsProcessorUnit(const AudioComponentDescription& description)
    : EffectUnit(description, Input::zeroInvalidSamples)
{
    using P = DynamicsProcessor;
    const auto row = [](uint32_t id, const char* name, uint32_t unit) {
        const P::Range r = P::range(id);
        return ParameterInfo{id, name, r.minimum, r.maximum, r.initial, unit};
    };
    defineParameters({
        row(P::threshold, "Threshold", parameterUnit::decibels),
        row(P::headroom, "Head Room", parameterUnit::decibels),
        row(P::expansionRatio, "Expansion Ratio", parameterUnit::ratio),
        row(P::expansionThreshold, "Expansion Threshold", parameterUnit::decibels),
        row(P::attackTime, "Attack Time", parameterUnit::seconds),
        row(P::releaseTime, "Release Time", parameterUnit::seconds),
        row(P::overallGain, "Overall Gain", parameterUnit::decibels),
    });
}

}  // namespace quorel
