#include "MultibandCompressorUnit.h"

#include <string>

namespace quorel {

MultibandCompressorUnit::MultibandCompressorUnit(const AudioComponentDescription& description)
    : ProcessorUnit(description)
{
    using M = MultibandCompressor;
    std::vector<ParameterInfo> table;
    const auto add = [&](uint32_t id, std::string name, uint32_t unit) {
        table.push_back(parameterRow(id, std::move(name), unit));
    };
    add(M::preGain, "Pre-Gain", parameterUnit::decibels);
    add(M::postGain, "Post-Gain", parameterUnit::decibels);
    for (uint32_t k = 0; k < 3; ++k) add(M::crossover1 + k, "Crossover " + std::to_string(k + 1), parameterUnit::hertz);
    for (uint32_t b = 0; b < M::bandCount; ++b)
        add(M::threshold1 + b, "Threshold " + std::to_string(b + 1), parameterUnit::decibels);
    for (uint32_t b = 0; b < M::bandCount; ++b)
        add(M::headroom1 + b, "Head Room " + std::to_string(b + 1), parameterUnit::decibels);
    add(M::attackTime, "Attack Time", parameterUnit::seconds);
    add(M::releaseTime, "Release Time", parameterUnit::seconds);
    for (uint32_t b = 0; b < M::bandCount; ++b)
        add(M::bandGain1 + b, "Band Gain " + std::to_string(b + 1), parameterUnit::decibels);
    defineParameters(std::move(table));
}

}  // namespace quorel
