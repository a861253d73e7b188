#include "DynamicsProcessor.h"

#include <algorithm>
#include <cmath>

namespace quorel {

DynamicsProcessor::Range DynamicsProcessor::range(uint32_t id)
{
    switch (id) {
    case threshold: return {-40, 20, -20};
    case headroom: return {0.1f, 40, 5};
    case expansionRatio: return {1, 50, 2};
    case expansionThreshold: return {-120, 0, -120};
    case attackTime: return {0.0001f, 0.2f, 0.001f};
    case releaseTime: return {0.01f, 3, 0.05f};
    case overallGain: return {-40, 40, 0};
    default: return {0, 0, 0};
    }
}

DynamicsProcessor::DynamicsProcessor() = default;

void DynamicsProcessor::derive(Settings& next, double sampleRate)
{
    next.detector = RmsDetector::coefficients(sampleRate, next.values[attackTime], next.values[releaseTime]);
    next.makeupGain = std::pow(10.0f, next.values[overallGain] / 20);
}

bool DynamicsProcessor::Gain::operator==(const Gain& other) const
{
    return curve.threshold == other.curve.threshold && curve.headroom == other.curve.headroom
           && curve.expansionRatio == other.curve.expansionRatio
           && curve.expansionThreshold == other.curve.expansionThreshold && makeupDB == other.makeupDB;
}

DynamicsProcessor::Gain DynamicsProcessor::gainOf(const Settings& settings)
{
    Gain gain;
    gain.curve.threshold = settings.values[threshold];
    gain.curve.headroom = settings.values[headroom];
    gain.curve.expansionRatio = settings.values[expansionRatio];
    gain.curve.expansionThreshold = settings.values[expansionThreshold];
    gain.makeupDB = settings.values[overallGain];
    return gain;
}

void DynamicsProcessor::prepare(double sampleRate)
{
    settings_.setSampleRate(sampleRate);
    fadeFrames_ = std::max(1u, uint32_t(sampleRate * 0.01));
    reset();
}

void DynamicsProcessor::reset()
{
    detector_.reset();
    hasApplied_ = false;
    fadeRemaining_ = 0;
}

void DynamicsProcessor::gains(const Gain& gain, const float* levels, float* gains, uint32_t count)
{
    constexpr uint32_t piece = 256;
    float from[piece];
    const bool fading = fadeRemaining_ > 0;
    if (fading) fadingFrom_.curve.gains(levels, from, count, fadingFrom_.makeupDB);
    gain.curve.gains(levels, gains, count, gain.makeupDB);
    if (!fading) return;
    const float step = 1.0f / float(fadeFrames_);
    for (uint32_t i = 0; i < count && fadeRemaining_ > 0; ++i, --fadeRemaining_) {
        const float toward = 1.0f - float(fadeRemaining_) * step;
        gains[i] = from[i] + (gains[i] - from[i]) * toward;
    }
}

void DynamicsProcessor::process(float* const* channels, uint32_t channelCount, uint32_t frames)
{
    channelCount = std::min(channelCount, 2u);
    if (settings_.acquire()) detector_.configure(settings_.current().detector);
    const Settings& settings = settings_.current();
    const Gain gain = gainOf(settings);
    if (hasApplied_ && !(gain == applied_)) {
        fadingFrom_ = applied_;
        fadeRemaining_ = fadeFrames_;
    }
    applied_ = gain;
    hasApplied_ = true;
    const CompressorCurve& curve = gain.curve;
    const float makeup = gain.makeupDB;
    float* left = channels[0];
    float* right = channelCount > 1 ? channels[1] : channels[0];

    constexpr uint32_t piece = 256;
    float values[piece];
    if (curve.isNeutral() && fadeRemaining_ == 0) {
        // Keep the detector following the signal, so a later change starts from its level.
        for (uint32_t start = 0; start < frames; start += piece) {
            const uint32_t count = std::min(piece, frames - start);
            const float* l = left + start;
            const float* r = right + start;
            for (uint32_t i = 0; i < count; ++i) values[i] = std::max(l[i] * l[i], r[i] * r[i]);
            detector_.followBlock(values, count);
        }
        detector_.flush();
        detector_.settle();
        if (makeup == 0) return;
        const float g = settings.makeupGain;
        for (uint32_t ch = 0; ch < channelCount; ++ch)
            for (uint32_t i = 0; i < frames; ++i) channels[ch][i] *= g;
        return;
    }
    // In pieces: the squared input, its smoothed level, the gain, then one multiply loop.
    for (uint32_t start = 0; start < frames; start += piece) {
        const uint32_t count = std::min(piece, frames - start);
        float* l = left + start;
        float* r = right + start;
        for (uint32_t i = 0; i < count; ++i) values[i] = std::max(l[i] * l[i], r[i] * r[i]);
        detector_.levels(values, count);
        gains(gain, values, values, count);
        for (uint32_t i = 0; i < count; ++i) l[i] *= values[i];
        if (channelCount > 1)
            for (uint32_t i = 0; i < count; ++i) r[i] *= values[i];
    }
    detector_.flush();
}

}  // namespace quorel
