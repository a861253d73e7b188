#include "DynamicsProcessorUnit.h"

namespace quorel {

DynamicsProcessorUnit::DynamicsProcessorUnit(const AudioComponentDescription& description) : ProcessorUnit(description)
{
    using P = DynamicsProcessor;
    defineParameters({
        parameterRow(P::threshold, "Threshold", parameterUnit::decibels),
        parameterRow(P::headroom, "Head Room", parameterUnit::decibels),
        parameterRow(P::expansionRatio, "Expansion Ratio", parameterUnit::ratio),
        parameterRow(P::expansionThreshold, "Expansion Threshold", parameterUnit::decibels),
        parameterRow(P::attackTime, "Attack Time", parameterUnit::seconds),
        parameterRow(P::releaseTime, "Release Time", parameterUnit::seconds),
        parameterRow(P::overallGain, "Overall Gain", parameterUnit::decibels),
    });
}

}  // namespace quorel
