#include "QRLimiterUnit.h"

#include "ParameterHandOff.h"
#include "QREffects.h"
#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>

namespace quorel {

namespace {

constexpr float minimumCeiling = 0.1f;
constexpr float maximumCeiling = 1.0f;

float clampedRelease(float seconds)
{
    return std::clamp(seconds, 0.005f, 1.0f);
}

float releaseCoefficientFor(double sampleRate, float release)
{
    return float(1.0 - std::exp(-1.0 / (sampleRate * double(release))));
}

}  // namespace

QRLimiterUnit::QRLimiterUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

QRLimiterUnit::~QRLimiterUnit()
{
    releaseState();
}

uint32_t QRLimiterUnit::windowForSampleRate(double sampleRate) const
{
    const float lookahead = std::clamp(state_.lookaheadSeconds.load(), 0.0005f, 0.05f);
    const long long window = std::llround(sampleRate * double(lookahead));
    return window < 3 ? 2u : uint32_t(window);
}

double QRLimiterUnit::latency() const
{
    const double sampleRate = outputBus().format().sampleRate;
    if (!(sampleRate > 0))
        return 0;
    return double(windowForSampleRate(sampleRate) - 1) / sampleRate;
}

void QRLimiterUnit::configureCeiling(float ceiling, float lookaheadSeconds, float releaseSeconds)
{
    publishParameter(state_.ceiling, std::isfinite(ceiling)
                                         ? std::clamp(ceiling, minimumCeiling, maximumCeiling)
                                         : 0.999f);
    if (std::isfinite(lookaheadSeconds))
        publishParameter(state_.lookaheadSeconds, lookaheadSeconds);
    if (std::isfinite(releaseSeconds))
        publishParameter(state_.releaseSeconds, releaseSeconds);
}

float QRLimiterUnit::readGain()
{
    return takeReading(state_.minimumGain, 1.0f);
}

bool QRLimiterUnit::allocateState(double sampleRate)
{
    QRLimiterState& s = state_;
    s.window = windowForSampleRate(sampleRate);
    s.sampleRate = sampleRate;
    s.appliedRelease = clampedRelease(s.releaseSeconds.load());
    s.releaseCoefficient = releaseCoefficientFor(sampleRate, s.appliedRelease);
    s.dequeCapacity = s.window + 1;
    bool allocated = s.dequeValues.allocate(s.dequeCapacity) && s.dequeIndices.allocate(s.dequeCapacity)
        && s.box.allocate(s.window) && s.framePeaks.allocate(capacity()) && s.held.allocate(capacity());
    for (uint32_t channel = 0; channel < channels(); ++channel)
        allocated = allocated && s.delay[channel].allocate(s.window - 1);
    return allocated;
}

void QRLimiterUnit::releaseState()
{
    QRLimiterState& s = state_;
    for (SampleBuffer& line : s.delay)
        line.release();
    s.dequeValues.release();
    s.dequeIndices.release();
    s.box.release();
    s.framePeaks.release();
    s.held.release();
}

void QRLimiterUnit::resetState()
{
    QRLimiterState& s = state_;
    if (!s.box)
        return;
    for (SampleBuffer& line : s.delay) {
        if (line)
            line.clear();
    }
    s.box.fill(1.0f);
    s.boxSum = double(s.window);
    s.boxIndex = 0;
    s.delayIndex = 0;
    s.dequeHead = 0;
    s.dequeTail = 0;
    s.envelope = 1;
    s.sampleIndex = 0;
    s.minimumGain.store(1);
}

float QRLimiterUnit::process(float* const* data, uint32_t frames) noexcept
{
    QRLimiterState& s = state_;
    const uint32_t channelCount = channels();

    const float ceiling = std::clamp(readParameter(s.ceiling), minimumCeiling, maximumCeiling);
    const float release = clampedRelease(readParameter(s.releaseSeconds));
    if (release != s.appliedRelease) {
        s.appliedRelease = release;
        s.releaseCoefficient = releaseCoefficientFor(s.sampleRate, release);
    }
    float minimum = s.minimumGain.load();

    // 1. Peak of each frame over the channels.
    float* gains = s.framePeaks.data();
    for (uint32_t channel = 0; channel < channelCount; ++channel) {
        float* samples = data[channel];
        sanitizeSamples(samples, frames);
        if (channel == 0) {
            for (uint32_t i = 0; i < frames; ++i)
                gains[i] = std::fabs(samples[i]);
        } else {
            for (uint32_t i = 0; i < frames; ++i)
                gains[i] = std::max(gains[i], std::fabs(samples[i]));
        }
    }

    // 2. Target gain of each frame.
    for (uint32_t i = 0; i < frames; ++i)
        gains[i] = gains[i] > ceiling ? ceiling / gains[i] : 1.0f;

    // 3. Gain curve: sliding minimum over the window, instant attack, exponential release, box
    //    average over the window.
    const uint32_t window = s.window;
    const uint32_t queueCapacity = s.dequeCapacity;
    float* values = s.dequeValues.data();
    uint64_t* indices = s.dequeIndices.data();
    float* box = s.box.data();
    uint32_t head = s.dequeHead;
    uint32_t tail = s.dequeTail;
    uint32_t boxIndex = s.boxIndex;
    double boxSum = s.boxSum;
    float envelope = s.envelope;
    uint64_t sampleIndex = s.sampleIndex;
    const float coefficient = s.releaseCoefficient;
    for (uint32_t i = 0; i < frames; ++i, ++sampleIndex) {
        const float target = gains[i];
        while (head != tail) {
            const uint32_t last = tail == 0 ? queueCapacity - 1 : tail - 1;
            if (!(target <= values[last]))
                break;
            tail = last;
        }
        values[tail] = target;
        indices[tail] = sampleIndex;
        tail = tail + 1 == queueCapacity ? 0 : tail + 1;
        while (indices[head] + window <= sampleIndex)
            head = head + 1 == queueCapacity ? 0 : head + 1;
        const float smallest = values[head];

        const float released = envelope + (1.0f - envelope) * coefficient;
        envelope = smallest < released ? smallest : released;

        boxSum += double(envelope) - double(box[boxIndex]);
        box[boxIndex] = envelope;
        boxIndex = boxIndex + 1 == window ? 0 : boxIndex + 1;
        const float average = std::clamp(float(boxSum / double(window)), 0.0f, 1.0f);
        gains[i] = average;
        minimum = std::min(minimum, average);
    }
    s.dequeHead = head;
    s.dequeTail = tail;
    s.boxIndex = boxIndex;
    s.boxSum = boxSum;
    s.envelope = envelope;
    s.sampleIndex = sampleIndex;

    // 4. Delay each channel by W - 1 frames, apply the gain curve, clip to the ceiling.
    const uint32_t length = window - 1;
    float peak = 0;
    for (uint32_t channel = 0; channel < channelCount; ++channel) {
        float* samples = data[channel];
        float* line = s.delay[channel].data();
        float* held = s.held.data();
        std::copy_n(samples, frames, held);
        const uint32_t fromLine = std::min(length, frames);
        const uint32_t first = std::min(fromLine, length - s.delayIndex);
        std::copy_n(line + s.delayIndex, first, samples);
        std::copy_n(line, fromLine - first, samples + first);
        std::copy_n(held, frames - fromLine, samples + fromLine);
        // The newest `length` inputs stay in the line, the oldest of them at delayIndex.
        const uint32_t keep = std::min(length, frames);
        uint32_t position = uint32_t((uint64_t(s.delayIndex) + frames - keep) % length);
        for (uint32_t k = 0; k < keep; ++k) {
            line[position] = held[frames - keep + k];
            position = position + 1 == length ? 0 : position + 1;
        }

        for (uint32_t i = 0; i < frames; ++i) {
            const float y = samples[i] * gains[i];
            samples[i] = std::fabs(y) > ceiling ? std::copysign(ceiling, y) : y;
        }
        peak = std::max(peak, peakMagnitude(samples, frames));
    }
    if (frames > 0)
        s.delayIndex = uint32_t((uint64_t(s.delayIndex) + frames) % length);

    publishReading(s.minimumGain, minimum);
    return peak;
}

extern "C" {

AudioComponentDescription QRRegisterLimiterUnit()
{
    return registerEffectUnitOnce<QRLimiterUnit>();
}

void QRConfigureLimiter(AudioUnit* unit, float ceiling, float lookaheadSeconds, float releaseSeconds)
{
    if (auto* limiter = dynamic_cast<QRLimiterUnit*>(unit))
        limiter->configureCeiling(ceiling, lookaheadSeconds, releaseSeconds);
}

float QRReadLimiterGain(AudioUnit* unit)
{
    if (auto* limiter = dynamic_cast<QRLimiterUnit*>(unit))
        return limiter->readGain();
    return 0;
}

}  // extern "C"

}  // namespace quorel
