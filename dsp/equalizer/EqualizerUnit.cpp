#include "EqualizerUnit.h"

#include <cmath>
#include <string>

namespace quorel {

EqualizerUnit::EqualizerUnit(uint32_t bandCount) : ProcessorUnit(platformDescription(subtype), bandCount)
{
    ParametricEqualizer& eq = processor();
    std::vector<ParameterInfo> table;
    table.push_back({globalGainParameter, "Global Gain", ParametricEqualizer::minimumGain,
                     ParametricEqualizer::maximumGain, 0, parameterUnit::decibels});
    for (uint32_t i = 0; i < eq.bandCount(); ++i) {
        const std::string n = " " + std::to_string(i + 1);
        table.push_back({bypassParameter + i, "Bypass" + n, 0, 1, 0, parameterUnit::boolean});
        table.push_back({typeParameter + i, "Filter Type" + n, 0, 10, 0, parameterUnit::indexed});
        table.push_back({frequencyParameter + i, "Frequency" + n, ParametricEqualizer::minimumFrequency,
                         maximumFrequency, 1000, parameterUnit::hertz});
        table.push_back({gainParameter + i, "Gain" + n, ParametricEqualizer::minimumGain,
                         ParametricEqualizer::maximumGain, 0, parameterUnit::decibels});
        table.push_back({bandwidthParameter + i, "Bandwidth" + n, ParametricEqualizer::minimumBandwidth,
                         ParametricEqualizer::maximumBandwidth, 0.5f, parameterUnit::octaves});
    }
    defineParameters(std::move(table));
    for (uint32_t i = 0; i < eq.bandCount(); ++i) {
        eq.setFrequency(i, 1000);
        eq.setBandwidth(i, 0.5f);
    }
}

void EqualizerUnit::parameterChanged(uint32_t id, float value)
{
    ParametricEqualizer& eq = processor();
    if (id == globalGainParameter) return eq.setGlobalGain(value);
    const uint32_t band = id % 1000;
    switch (id - band) {
    case bypassParameter: eq.setBypass(band, value >= 0.5f); break;
    case typeParameter: {
        const int code = int(std::lround(value));
        if (code == 0 || code == 2 || code == 7 || code == 8) eq.setType(band, Type(code));
        break;
    }
    case frequencyParameter: eq.setFrequency(band, value); break;
    case gainParameter: eq.setGain(band, value); break;
    case bandwidthParameter: eq.setBandwidth(band, value); break;
    default: break;
    }
}

}  // namespace quorel
