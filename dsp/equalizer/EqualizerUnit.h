#pragma once

#include "ParametricEqualizer.h"
#include "ProcessorUnit.h"

namespace quorel {

// The platform's parametric equalizer as an effect unit, with a fixed number of bands (at most
// ParametricEqualizer::maximumBands).
// Parameters: global gain 0 (dB); per band i: bypass 1000 + i, filter type 2000 + i,
// frequency 3000 + i (Hz), gain 4000 + i (dB), bandwidth 5000 + i (octaves).
class EqualizerUnit : public ProcessorUnit<ParametricEqualizer> {
public:
    using Type = ParametricEqualizer::Type;
    enum : uint32_t {
        globalGainParameter = 0,
        bypassParameter = 1000,
        typeParameter = 2000,
        frequencyParameter = 3000,
        gainParameter = 4000,
        bandwidthParameter = 5000,
    };
    static constexpr FourCharCode subtype = fourCharCode("nbeq");
    static constexpr float maximumFrequency = 96000;

    explicit EqualizerUnit(uint32_t bandCount);

    uint32_t bandCount() const { return processor().bandCount(); }
    void setType(uint32_t band, Type type) { setParameter(typeParameter + band, float(int(type))); }
    void setFrequency(uint32_t band, float hz) { setParameter(frequencyParameter + band, hz); }
    void setBandwidth(uint32_t band, float octaves) { setParameter(bandwidthParameter + band, octaves); }
    void setGain(uint32_t band, float dB) { setParameter(gainParameter + band, dB); }
    void setBypass(uint32_t band, bool bypass) { setParameter(bypassParameter + band, bypass ? 1.0f : 0.0f); }
    void setGlobalGain(float dB) { setParameter(globalGainParameter, dB); }

    const ParametricEqualizer& equalizer() const { return processor(); }
    // Response of the whole unit in dB at a frequency, for the current sample rate.
    double magnitudeDB(double hz) const { return processor().magnitudeDB(outputBus().format().sampleRate, hz); }

protected:
    void parameterChanged(uint32_t id, float value) override;
};

}  // namespace quorel
