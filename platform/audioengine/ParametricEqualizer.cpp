#include "ParametricEqualizer.h"

#include <algorithm>
#include <cmath>

namespace quorel {

ParametricEqualizer::ParametricEqualizer(uint32_t bandCount)
    : count_(bandCount), bands_(std::make_unique<Band[]>(bandCount))
{
}

void ParametricEqualizer::touch(uint32_t band)
{
    bands_[band].changed.store(true);
    changed_.store(true);
}

void ParametricEqualizer::setType(uint32_t band, Type type)
{
    if (band >= count_) return;
    bands_[band].type.store(int(type));
    touch(band);
}

void ParametricEqualizer::setFrequency(uint32_t band, float hz)
{
    if (band >= count_ || !std::isfinite(hz)) return;
    bands_[band].frequency.store(std::max(hz, minimumFrequency));
    touch(band);
}

void ParametricEqualizer::setBandwidth(uint32_t band, float octaves)
{
    if (band >= count_ || !std::isfinite(octaves)) return;
    bands_[band].bandwidth.store(std::clamp(octaves, minimumBandwidth, maximumBandwidth));
    touch(band);
}

void ParametricEqualizer::setGain(uint32_t band, float dB)
{
    if (band >= count_ || !std::isfinite(dB)) return;
    bands_[band].gain.store(std::clamp(dB, minimumGain, maximumGain));
    touch(band);
}

void ParametricEqualizer::setBypass(uint32_t band, bool bypass)
{
    if (band >= count_) return;
    bands_[band].bypass.store(bypass);
    touch(band);
}

void ParametricEqualizer::setGlobalGain(float dB)
{
    if (!std::isfinite(dB)) return;
    globalGain_.store(std::clamp(dB, minimumGain, maximumGain));
}

ParametricEqualizer::Type ParametricEqualizer::type(uint32_t band) const
{
    return band < count_ ? Type(bands_[band].type.load()) : Type::parametric;
}
float ParametricEqualizer::frequency(uint32_t band) const
{
    return band < count_ ? bands_[band].frequency.load() : 0;
}
float ParametricEqualizer::bandwidth(uint32_t band) const
{
    return band < count_ ? bands_[band].bandwidth.load() : 0;
}
float ParametricEqualizer::gain(uint32_t band) const
{
    return band < count_ ? bands_[band].gain.load() : 0;
}
bool ParametricEqualizer::bypass(uint32_t band) const
{
    return band < count_ && bands_[band].bypass.load();
}
float ParametricEqualizer::globalGain() const { return globalGain_.load(); }

BiquadCoefficients ParametricEqualizer::design(uint32_t band, double sampleRate) const
{
    if (band >= count_ || bands_[band].bypass.load()) return BiquadCoefficients::identity();
    const Band& b = bands_[band];
    return BiquadCoefficients::design(Type(b.type.load()), sampleRate, b.frequency.load(),
                                      b.bandwidth.load(), b.gain.load());
}

double ParametricEqualizer::magnitudeDB(double sampleRate, double hz) const
{
    double total = globalGain_.load();
    for (uint32_t i = 0; i < count_; ++i) {
        const BiquadCoefficients c = design(i, sampleRate);
        if (!c.isIdentity()) total += c.magnitudeDB(sampleRate, hz);
    }
    return total;
}

void ParametricEqualizer::prepare(double sampleRate)
{
    sampleRate_ = sampleRate;
    for (uint32_t i = 0; i < count_; ++i) bands_[i].changed.store(true);
    changed_.store(true);
    reset();
}

void ParametricEqualizer::reset()
{
    for (uint32_t i = 0; i < count_; ++i) bands_[i].filter.reset();
}

void ParametricEqualizer::process(float* const* channels, uint32_t channelCount, uint32_t frames)
{
    if (changed_.exchange(false)) {
        for (uint32_t i = 0; i < count_; ++i) {
            Band& b = bands_[i];
            if (!b.changed.exchange(false)) continue;
            const BiquadCoefficients c = design(i, sampleRate_);
            const bool wasActive = b.active;
            b.active = !c.isIdentity();
            if (b.active && !wasActive) b.filter.reset();
            b.filter.setCoefficients(c);
        }
    }
    channelCount = std::min(channelCount, 2u);
    for (uint32_t i = 0; i < count_; ++i) {
        Band& b = bands_[i];
        if (!b.active) continue;
        for (uint32_t ch = 0; ch < channelCount; ++ch) b.filter.process(channels[ch], frames, ch);
    }
    const float g = globalGain_.load(std::memory_order_relaxed);
    if (g != 0) {
        const float linear = std::pow(10.0f, g / 20);
        for (uint32_t ch = 0; ch < channelCount; ++ch)
            for (uint32_t f = 0; f < frames; ++f) channels[ch][f] *= linear;
    }
}

}  // namespace quorel
