#include "QRLevelerUnit.h"

#include "KWeighting.h"
#include "ParameterHandOff.h"
#include "QREffects.h"
#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

constexpr float absoluteGate = 1.172465304582298e-06f;  // a 100 ms bin at -60 LUFS
constexpr uint32_t momentaryBins = 4;                   // 400 ms

float loudnessOf(double meanSquare)
{
    return meanSquare > 1e-12 ? float(10 * std::log10(meanSquare) - 0.691) : -120.0f;
}

}  // namespace

QRLevelerUnit::QRLevelerUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

void QRLevelerUnit::configureStrength(float strength, float targetLUFS)
{
    QRLevelerParameters next = state_.parameters.latest();
    if (std::isfinite(strength)) next.strength = std::clamp(strength, 0.0f, 1.0f);
    if (std::isfinite(targetLUFS)) next.target = std::clamp(targetLUFS, -30.0f, -6.0f);
    state_.parameters.publish(next);
}

QRLevelerReading QRLevelerUnit::reading() const
{
    return {loadReading(state_.shortTermLoudness), loadReading(state_.gainDB), loadReading(state_.measuring) != 0};
}

bool QRLevelerUnit::allocateState(double sampleRate)
{
    QRLevelerState& s = state_;
    s.sampleRate = sampleRate;
    s.binLength = uint32_t(std::max(1LL, std::llround(sampleRate * 0.1)));
    double shelf[5];
    double highPass[5];
    QRKWeightingCoefficients(sampleRate, shelf, highPass);
    for (uint32_t channel = 0; channel < 2; ++channel) {
        s.shelf[channel].setCoefficients(shelf);
        s.highPass[channel].setCoefficients(highPass);
    }
    return true;
}

void QRLevelerUnit::resetState()
{
    QRLevelerState& s = state_;
    for (uint32_t channel = 0; channel < 2; ++channel) {
        s.shelf[channel].clear();
        s.highPass[channel].clear();
    }
    s.binSum = {};
    s.binCount = 0;
    s.bins = {};
    s.binIndex = 0;
    s.binsFilled = 0;
    s.desiredDB = 0;
    s.currentDB = 0;
    s.currentGain = 1;
    s.shortTermLoudness.store(-120);
    s.gainDB.store(0);
    s.measuring.store(0);
}

void QRLevelerUnit::completeBin(float strength, float target) noexcept
{
    QRLevelerState& s = state_;
    double energy = 0;
    for (uint32_t channel = 0; channel < channels(); ++channel) energy += s.binSum[channel] / double(s.binLength);
    s.binSum = {};

    s.bins[s.binIndex] = float(energy);
    s.binIndex = (s.binIndex + 1) % QRLevelerState::binSlots;
    s.binsFilled = std::min(s.binsFilled + 1, QRLevelerState::binSlots);

    // Newest bin first.
    double momentarySum = 0;
    uint32_t momentaryCount = 0;
    double gatedSum = 0;
    uint32_t gatedCount = 0;
    for (uint32_t age = 0; age < s.binsFilled; ++age) {
        const float bin = s.bins[(s.binIndex + QRLevelerState::binSlots - 1 - age) % QRLevelerState::binSlots];
        if (age < momentaryBins) {
            momentarySum += bin;
            ++momentaryCount;
        }
        if (bin > absoluteGate) {
            gatedSum += bin;
            ++gatedCount;
        }
    }
    const float momentary = loudnessOf(momentarySum / double(momentaryCount));
    const float shortTerm = gatedCount > 0 ? loudnessOf(gatedSum / double(gatedCount)) : -120.0f;

    if (strength == 0) {
        s.desiredDB = 0;
        publishReading(s.measuring, 0u);
        if (gatedCount > 0) publishReading(s.shortTermLoudness, shortTerm);
    } else if (momentary < -50 || gatedCount == 0) {
        publishReading(s.measuring, 0u);  // hold the gain through pauses
    } else {
        publishReading(s.shortTermLoudness, shortTerm);
        publishReading(s.measuring, 1u);
        const float effective = std::isnan(shortTerm) ? momentary - 4 : std::max(shortTerm, momentary - 4);
        s.desiredDB = std::clamp((target - effective) * strength, -12.0f, 18.0f);
    }
}

float QRLevelerUnit::measureMono(float* samples, uint32_t count) noexcept
{
    QRLevelerState& s = state_;
    Biquad shelf = s.shelf[0];
    Biquad highPass = s.highPass[0];
    double sum = s.binSum[0];
    float peak = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const float x = sanitizedSample(samples[i]);
        samples[i] = x;
        peak = std::max(peak, std::fabs(x));
        const float y = highPass.process(shelf.process(x));
        sum += double(y) * double(y);
    }
    s.shelf[0] = shelf;
    s.highPass[0] = highPass;
    s.binSum[0] = sum;
    return peak;
}

float QRLevelerUnit::measureStereo(float* left, float* right, uint32_t count) noexcept
{
    // The samples are cleaned and measured first, so the filters only read them.
    const float peak = std::max(sanitizeAndMeasure(left, count), sanitizeAndMeasure(right, count));
    kWeightedSquares(state_.shelf, state_.highPass, left, right, count, state_.binSum);
    return peak;
}

float QRLevelerUnit::process(float* const* data, uint32_t frames) noexcept
{
    QRLevelerState& s = state_;
    const uint32_t channelCount = channels();
    s.parameters.acquire();
    const float strength = s.parameters.current().strength;
    const float target = s.parameters.current().target;

    // Measurement, bin by bin; the samples are only cleaned here (invalid ones become 0).
    float inputPeak = 0;
    for (uint32_t start = 0; start < frames;) {
        const uint32_t count = std::min(frames - start, s.binLength - s.binCount);
        inputPeak = std::max(inputPeak, channelCount == 2 ? measureStereo(data[0] + start, data[1] + start, count)
                                                          : measureMono(data[0] + start, count));
        start += count;
        s.binCount += count;
        if (s.binCount == s.binLength) {
            s.binCount = 0;
            completeBin(strength, target);
        }
    }

    // Gain smoothing, once per call: falling gains move faster than rising ones.
    if (strength == 0) s.desiredDB = 0;
    const float tau = s.desiredDB < s.currentDB ? 0.4f : 2.5f;
    const float decay = std::exp(-(float(frames) / float(s.sampleRate)) / tau);
    s.currentDB += (1.0f - decay) * (s.desiredDB - s.currentDB);
    const float previousGain = s.currentGain;
    const float gain = std::pow(10.0f, s.currentDB / 20.0f);
    publishReading(s.gainDB, s.currentDB);

    // Application: a linear ramp from the previous gain over the call (none at a steady 1).
    float peak = 0;
    if (previousGain == 1.0f && gain == 1.0f) {
        peak = inputPeak;
    } else if (frames > 0) {
        const float step = (gain - previousGain) / float(frames);
        for (uint32_t channel = 0; channel < channelCount; ++channel) {
            float* samples = data[channel];
            for (uint32_t i = 0; i < frames; ++i) samples[i] *= previousGain + float(i) * step;
            peak = std::max(peak, peakMagnitude(samples, frames));
        }
    }
    s.currentGain = gain;
    return peak;
}

extern "C" {

void QRKWeightingCoefficients(double sampleRate, double* shelf, double* highPass)
{
    if (shelf) {
        const double K = std::tan(5284.078578647628 / sampleRate);  // pi x 1681.974450955533 Hz
        const double Q = 0.7071752369554196;
        const double Vh = 1.5848647011308556;
        const double Vb = 1.2587209302325617;
        const double a0 = 1 + K / Q + K * K;
        shelf[0] = (Vh + Vb * K / Q + K * K) / a0;
        shelf[1] = 2 * (K * K - Vh) / a0;
        shelf[2] = (Vh - Vb * K / Q + K * K) / a0;
        shelf[3] = 2 * (K * K - 1) / a0;
        shelf[4] = (1 - K / Q + K * K) / a0;
    }
    if (highPass) {
        const double K = std::tan(119.8061151453059 / sampleRate);  // pi x 38.13547087602444 Hz
        const double Q = 0.5003270373238773;
        const double a0 = 1 + K / Q + K * K;
        highPass[0] = 1;
        highPass[1] = -2;
        highPass[2] = 1;
        highPass[3] = 2 * (K * K - 1) / a0;
        highPass[4] = (1 - K / Q + K * K) / a0;
    }
}

AudioComponentDescription QRRegisterLevelerUnit() { return registerEffectUnitOnce<QRLevelerUnit>(); }

}  // extern "C"

}  // namespace quorel
