#include "EqualizerUnit.h"

#include <cmath>
#include <string>

namespace quorel {

EqualizerUnit::EqualizerUnit(uint32_t bandCount)
    : EffectUnit({effectComponentType, subtype, platformManufacturer, 0, 0}, Input::zeroInvalidSamples), eq_(bandCount)
{
    std::vector<ParameterInfo> table;
    table.push_back({globalGainParameter, "Global Gain", ParametricEqualizer::minimumGain,
                     ParametricEqualizer::maximumGain, 0, parameterUnit::decibels});
    for (uint32_t i = 0; i < eq_.bandCount(); ++i) {
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
    for (uint32_t i = 0; i < eq_.bandCount(); ++i) {
        eq_.setFrequency(i, 1000);
        eq_.setBandwidth(i, 0.5f);
    }
}

void EqualizerUnit::parameterChanged(uint32_t id, float value)
{
    if (id == globalGainParameter) return eq_.setGlobalGain(value);
    const uint32_t band = id % 1000;
    switch (id - band) {
    case bypassParameter: eq_.setBypass(band, value >= 0.5f); break;
    case typeParameter: {
        const int code = int(std::lround(value));
        if (code == 0 || code == 2 || code == 7 || code == 8) eq_.setType(band, Type(code));
        break;
    }
    case frequencyParameter: eq_.setFrequency(band, value); break;
    case gainParameter: eq_.setGain(band, value); break;
    case bandwidthParameter: eq_.setBandwidth(band, value); break;
    default: break;
    }
}

}  // namespace quorel
