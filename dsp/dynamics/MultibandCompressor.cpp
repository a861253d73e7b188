#include "MultibandCompressor.h"

#include <algorithm>
#include <cmath>

namespace quorel {

MultibandCompressor::Range MultibandCompressor::range(uint32_t id)
{
    if (id == preGain || id == postGain) return {-40, 40, 0};
    if (id == crossover1) return {20, 20000, 120};
    if (id == crossover2) return {20, 20000, 700};
    if (id == crossover3) return {20, 20000, 3000};
    if (id >= threshold1 && id < threshold1 + bandCount) return {-100, 0, -20};
    if (id >= headroom1 && id < headroom1 + bandCount) return {0.1f, 40, 5};
    if (id == attackTime) return {0.001f, 0.2f, 0.01f};
    if (id == releaseTime) return {0.01f, 3, 0.18f};
    if (id >= bandGain1 && id < bandGain1 + bandCount) return {-40, 40, 0};
    return {0, 0, 0};
}

MultibandCompressor::MultibandCompressor() = default;

void MultibandCompressor::derive(Settings& next, double sampleRate)
{
    float c[3];
    const float top = float(0.45 * sampleRate);
    for (int k = 0; k < 3; ++k) c[k] = std::min(next.values[crossover1 + k], top);
    std::sort(c, c + 3);
    for (int k = 0; k < 3; ++k) {
        next.lowPass[k] = BiquadCoefficients::lowPass(sampleRate, c[k]);
        next.highPass[k] = BiquadCoefficients::highPass(sampleRate, c[k]);
    }
    next.allPass2 = BiquadCoefficients::allPass(sampleRate, c[1]);
    next.allPass3 = BiquadCoefficients::allPass(sampleRate, c[2]);
    next.detector = RmsDetector::coefficients(sampleRate, next.values[attackTime], next.values[releaseTime]);
    next.preGain = std::pow(10.0f, next.values[preGain] / 20);
    next.postGain = std::pow(10.0f, next.values[postGain] / 20);
    for (uint32_t b = 0; b < bandCount; ++b) next.bandGains[b] = std::pow(10.0f, next.values[bandGain1 + b] / 20);
}

void MultibandCompressor::prepare(double sampleRate, uint32_t maximumFrames)
{
    settings_.setSampleRate(sampleRate);
    capacity_ = maximumFrames;
    bands_.assign(size_t(bandCount) * 2 * maximumFrames, 0.0f);
    reset();
}

void MultibandCompressor::reset()
{
    for (Split& s : splits_)
        for (int i = 0; i < 2; ++i) {
            s.low[i].reset();
            s.high[i].reset();
        }
    allPass2_.reset();
    allPass3_.reset();
    allPass3b_.reset();
    for (RmsDetector& d : detectors_) d.reset();
}

void MultibandCompressor::configure(const Settings& settings)
{
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 2; ++i) {
            splits_[k].low[i].setCoefficients(settings.lowPass[k]);
            splits_[k].high[i].setCoefficients(settings.highPass[k]);
        }
    }
    allPass2_.setCoefficients(settings.allPass2);
    allPass3_.setCoefficients(settings.allPass3);
    allPass3b_.setCoefficients(settings.allPass3);
    for (RmsDetector& d : detectors_) d.configure(settings.detector);
}

void MultibandCompressor::process(float* const* channels, uint32_t channelCount, uint32_t frames)
{
    channelCount = std::min(channelCount, 2u);
    frames = std::min(frames, capacity_);
    if (settings_.acquire()) configure(settings_.current());
    const Settings& settings = settings_.current();
    const float pre = settings.preGain;
    const float post = settings.postGain;
    auto band = [&](uint32_t b, uint32_t ch) { return &bands_[(size_t(b) * 2 + ch) * capacity_]; };

    for (uint32_t ch = 0; ch < channelCount; ++ch) {
        float* x = channels[ch];
        float* b1 = band(0, ch);
        float* b2 = band(1, ch);
        float* b3 = band(2, ch);
        float* b4 = band(3, ch);
        for (uint32_t i = 0; i < frames; ++i) x[i] *= pre;
        // Lowest band, all-passed through the two upper crossovers to stay in phase.
        splits_[0].low[0].process(x, b1, frames, ch);
        splits_[0].low[1].process(b1, frames, ch);
        allPass2_.process(b1, frames, ch);
        allPass3_.process(b1, frames, ch);
        // Rest above crossover 1, kept in b4 for now.
        splits_[0].high[0].process(x, b4, frames, ch);
        splits_[0].high[1].process(b4, frames, ch);
        splits_[1].low[0].process(b4, b2, frames, ch);
        splits_[1].low[1].process(b2, frames, ch);
        allPass3b_.process(b2, frames, ch);
        splits_[1].high[0].process(b4, frames, ch);
        splits_[1].high[1].process(b4, frames, ch);
        splits_[2].low[0].process(b4, b3, frames, ch);
        splits_[2].low[1].process(b3, frames, ch);
        splits_[2].high[0].process(b4, frames, ch);
        splits_[2].high[1].process(b4, frames, ch);
    }

    constexpr float ln10Over20 = 0.11512925465f;
    for (uint32_t b = 0; b < bandCount; ++b) {
        CompressorCurve curve;
        curve.threshold = settings.values[threshold1 + b];
        curve.headroom = settings.values[headroom1 + b];
        const float gainDB = settings.values[bandGain1 + b];
        float* l = band(b, 0);
        float* r = band(b, channelCount > 1 ? 1 : 0);
        RmsDetector& d = detectors_[b];
        if (curve.isNeutral()) {
            for (uint32_t i = 0; i < frames; ++i) d.follow(std::max(l[i] * l[i], r[i] * r[i]));
            d.settle();
            if (gainDB != 0) {
                const float g = settings.bandGains[b];
                for (uint32_t ch = 0; ch < channelCount; ++ch)
                    for (uint32_t i = 0; i < frames; ++i) band(b, ch)[i] *= g;
            }
        } else {
            for (uint32_t i = 0; i < frames; ++i) {
                const float level = d.next(std::max(l[i] * l[i], r[i] * r[i]));
                const float g = std::exp((curve.gainDB(level) + gainDB) * ln10Over20);
                l[i] *= g;
                if (channelCount > 1) r[i] *= g;
            }
        }
        d.flush();
    }

    for (uint32_t ch = 0; ch < channelCount; ++ch) {
        float* x = channels[ch];
        const float* b1 = band(0, ch);
        const float* b2 = band(1, ch);
        const float* b3 = band(2, ch);
        const float* b4 = band(3, ch);
        for (uint32_t i = 0; i < frames; ++i) x[i] = (b1[i] + b2[i] + b3[i] + b4[i]) * post;
    }
}

}  // namespace quorel
