#include "ParametricEqualizer.h"

#include <algorithm>
#include <cmath>

namespace quorel {

ParametricEqualizer::ParametricEqualizer(uint32_t bandCount)
    : count_(bandCount), bands_(std::make_unique<Band[]>(bandCount)),
      stages_(std::make_unique<Stage[]>(bandCount)), active_(std::make_unique<uint32_t[]>(bandCount)),
      pipe_(std::make_unique<Pair[]>(bandCount + 1))
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
    for (uint32_t i = 0; i < count_; ++i) {
        stages_[i].s1 = Pair{0, 0};
        stages_[i].s2 = Pair{0, 0};
    }
}

namespace {
// Denormal or non-finite memories restart from rest.
inline double flushed(double v) { return std::isfinite(v) && std::fabs(v) >= 1e-30 ? v : 0.0; }
}  // namespace

// A wavefront over the stages: in step i, stage k filters frame i - k, taking what stage k - 1
// produced in the step before. The stages of one step do not wait on each other, so the
// processor overlaps them, where a frame-by-frame pass would wait on every stage in turn; the
// arithmetic per stage and frame is exactly that of the plain cascade. Both channels go through
// together as the two lanes of a Pair (a mono call leaves the second lane at 0). In place:
// frame i - K + 1 is written after frame i was read.
void ParametricEqualizer::processStages(float* left, float* right, uint32_t frames)
{
    const uint32_t count = activeCount_;
    if (count == 0 || frames == 0) return;
    Stage* stages = stages_.get();
    const uint32_t* active = active_.get();
    Pair* pipe = pipe_.get();
    const uint64_t steps = uint64_t(frames) + count - 1;
    for (uint64_t i = 0; i < steps; ++i) {
        if (i < frames) pipe[0] = Pair{left[i], right ? right[i] : 0.0};
        const uint32_t first = i >= frames ? uint32_t(i - frames + 1) : 0;
        const uint32_t last = uint32_t(std::min<uint64_t>(count - 1, i));
        for (uint32_t k = last + 1; k-- > first;) {
            Stage& st = stages[active[k]];
            const Pair x = pipe[k];
            const Pair y = st.b0 * x + st.s1;
            st.s1 = st.b1 * x - st.a1 * y + st.s2;
            st.s2 = st.b2 * x - st.a2 * y;
            pipe[k + 1] = y;
        }
        if (i + 1 >= count) {
            const uint64_t f = i + 1 - count;
            left[f] = float(pipe[count][0]);
            if (right) right[f] = float(pipe[count][1]);
        }
    }
    for (uint32_t k = 0; k < count; ++k) {
        Stage& st = stages[active[k]];
        for (int ch = 0; ch < 2; ++ch) {
            st.s1[ch] = flushed(st.s1[ch]);
            st.s2[ch] = flushed(st.s2[ch]);
        }
    }
}

void ParametricEqualizer::process(float* const* channels, uint32_t channelCount, uint32_t frames)
{
    if (changed_.exchange(false)) {
        activeCount_ = 0;
        for (uint32_t i = 0; i < count_; ++i) {
            Stage& st = stages_[i];
            if (bands_[i].changed.exchange(false)) {
                const BiquadCoefficients c = design(i, sampleRate_);
                const bool wasActive = st.active;
                st.active = !c.isIdentity();
                if (st.active && !wasActive) st.s1 = st.s2 = Pair{0, 0};
                st.b0 = Pair{c.b0, c.b0};
                st.b1 = Pair{c.b1, c.b1};
                st.b2 = Pair{c.b2, c.b2};
                st.a1 = Pair{c.a1, c.a1};
                st.a2 = Pair{c.a2, c.a2};
            }
            if (st.active) active_[activeCount_++] = i;
        }
    }
    if (channelCount >= 2)
        processStages(channels[0], channels[1], frames);
    else if (channelCount == 1)
        processStages(channels[0], nullptr, frames);
    const float g = globalGain_.load(std::memory_order_relaxed);
    if (g != 0) {
        const float linear = std::pow(10.0f, g / 20);
        for (uint32_t ch = 0; ch < channelCount; ++ch)
            for (uint32_t f = 0; f < frames; ++f) channels[ch][f] *= linear;
    }
}

}  // namespace quorel
