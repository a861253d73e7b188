#include "QRLimiterUnit.h"

#include "ParameterHandOff.h"
#include "QREffects.h"
#include "SampleRing.h"
#include "SampleSanitizing.h"
#include "VectorMath.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

constexpr float minimumCeiling = 0.1f;
constexpr float maximumCeiling = 1.0f;

float clampedRelease(float seconds) { return std::clamp(seconds, 0.005f, 1.0f); }

float releaseCoefficientFor(double sampleRate, float release)
{
    return float(1.0 - std::exp(-1.0 / (sampleRate * double(release))));
}

// Smallest of `count` gains in 0...1 (1 for none): the bit patterns of non-negative floats
// order like their values, so the loop vectorises.
float smallestGain(const float* gains, uint32_t count)
{
    int32_t smallest = std::bit_cast<int32_t>(1.0f);
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t bits = std::bit_cast<int32_t>(gains[i]);
        smallest = bits < smallest ? bits : smallest;
    }
    return std::bit_cast<float>(smallest);
}

using vectormath::Float4;
using vectormath::Int4;
using vectormath::largestLane;
using vectormath::load;
using vectormath::store;

// Invalid samples (exponent bits all set) as 0, on the bits.
inline Float4 sanitized4(Float4 v)
{
    Int4 bits;
    std::memcpy(&bits, &v, sizeof bits);
    const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
    bits = (bits & exponent) == exponent ? Int4{} : bits;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// 1. Cleans the channels in place (invalid samples become 0) and writes the peak of each frame
//    over the channels; returns the largest of them. One pass over the samples.
float framePeaks(float* const* data, uint32_t channelCount, float* peaks, uint32_t frames)
{
    float* left = data[0];
    float* right = channelCount > 1 ? data[1] : nullptr;
    Float4 loudest{};
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Float4 l = sanitized4(load(left + i));
        store(left + i, l);
        Float4 peak = vectormath::absolute(l);
        if (right) {
            const Float4 r = sanitized4(load(right + i));
            store(right + i, r);
            const Float4 m = vectormath::absolute(r);
            peak = m > peak ? m : peak;
        }
        store(peaks + i, peak);
        loudest = peak > loudest ? peak : loudest;
    }
    float result = largestLane(loudest);
    for (; i < frames; ++i) {
        left[i] = sanitizedSample(left[i]);
        float peak = std::fabs(left[i]);
        if (right) {
            right[i] = sanitizedSample(right[i]);
            peak = std::max(peak, std::fabs(right[i]));
        }
        peaks[i] = peak;
        result = std::max(result, peak);
    }
    return result;
}

// samples[i] * gains[i], limited to +-ceiling; returns the largest output magnitude.
float applyGains(float* samples, const float* gains, uint32_t frames, float ceiling)
{
    const Float4 top = Float4{} + ceiling;
    Float4 largest{};
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Float4 y = load(samples + i) * load(gains + i);
        const Float4 m = vectormath::absolute(y);
        const Float4 limited = m > top ? (y < 0 ? -top : top) : y;
        store(samples + i, limited);
        const Float4 out = m > top ? top : m;
        largest = out > largest ? out : largest;
    }
    float result = largestLane(largest);
    for (; i < frames; ++i) {
        const float y = samples[i] * gains[i];
        samples[i] = std::fabs(y) > ceiling ? std::copysign(ceiling, y) : y;
        result = std::max(result, std::fabs(samples[i]));
    }
    return result;
}

// samples[i] * gain; returns the largest output magnitude.
float scaleAndMeasure(float* samples, uint32_t frames, float gain)
{
    const Float4 g = Float4{} + gain;
    Float4 largest{};
    uint32_t i = 0;
    for (; i + 4 <= frames; i += 4) {
        const Float4 y = load(samples + i) * g;
        store(samples + i, y);
        const Float4 m = vectormath::absolute(y);
        largest = m > largest ? m : largest;
    }
    float result = largestLane(largest);
    for (; i < frames; ++i) {
        samples[i] *= gain;
        result = std::max(result, std::fabs(samples[i]));
    }
    return result;
}

// The steps of a call that is not at rest, in order. Each is inlined into process().

// 2. Target gain of each frame from its peak: C / P above the ceiling, else exactly 1 (C / C),
//    without a branch so that the loop vectorises. Returns whether every target is 1 (no
//    frame above the ceiling).
[[gnu::always_inline]] inline bool targetGains(float* gains, uint32_t frames, float loudest, float ceiling)
{
    const bool allOne = !(loudest > ceiling);
    if (allOne)
        std::fill_n(gains, frames, 1.0f);
    else
        for (uint32_t i = 0; i < frames; ++i) gains[i] = ceiling / std::max(gains[i], ceiling);
    return allOne;
}

// 3. Sliding minimum of the target gains over the last W frames (this one included), in blocks
//    of W frames: a window spans the end of the previous block, whose suffix minima are kept,
//    and the start of the current one, whose running minimum is kept. Two comparisons per frame
//    and no data-dependent branch.
[[gnu::always_inline]] inline void slidingMinima(QRLimiterState& s, float* gains, uint32_t frames, bool allOne)
{
    const uint32_t window = s.window;
    float* blockTargets = s.blockTargets.data();
    float* suffixMinima = s.suffixMinima.data();
    uint32_t position = s.blockPosition;
    float blockMinimum = s.blockMinimum;
    if (frames > 0 && (position == 0 || blockMinimum == 1.0f) && (allOne || smallestGain(gains, frames) == 1.0f)) {
        // Every target of the current block so far and of this call is 1: until the block
        // completes, a frame's minimum is the previous block's suffix minimum; from then on
        // every block holds only 1s.
        const uint32_t beforeCompletion = std::min(frames, window - 1 - position);
        std::copy_n(suffixMinima + position + 1, beforeCompletion, gains);
        std::fill_n(gains + beforeCompletion, frames - beforeCompletion, 1.0f);
        std::fill_n(blockTargets, window, 1.0f);
        if (beforeCompletion < frames) std::fill_n(suffixMinima, window, 1.0f);
        position = uint32_t((uint64_t(position) + frames) % window);
        blockMinimum = 1;
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            const float target = gains[i];
            blockTargets[position] = target;
            blockMinimum = position == 0 ? target : std::min(blockMinimum, target);
            if (position + 1 < window) {
                gains[i] = std::min(suffixMinima[position + 1], blockMinimum);
                ++position;
            } else {
                gains[i] = blockMinimum;  // the window is exactly this block
                float suffix = blockTargets[window - 1];
                suffixMinima[window - 1] = suffix;
                for (uint32_t k = window - 1; k-- > 0;) {
                    suffix = std::min(blockTargets[k], suffix);
                    suffixMinima[k] = suffix;
                }
                position = 0;
            }
        }
    }
    s.blockPosition = position;
    s.blockMinimum = blockMinimum;
}

// 4. Instant attack, exponential release towards 1, running box sum over the window; then
//    (5.) the box averages, in a loop of their own so that the divisions vectorise. Lowers
//    `minimum` to the smallest gain of the call.
//    At rest the release no longer moves the envelope (it has reached 1, or a step too small to
//    round), the whole box holds that same envelope, and no sliding minimum of the block lies
//    below it: the recursion would leave envelope, box and sum as they are and give every frame
//    the same average, so it is skipped.
[[gnu::always_inline]] inline void releaseAndAverage(QRLimiterState& s, float* gains, uint32_t frames, float& minimum)
{
    const uint32_t window = s.window;
    const double width = double(window);
    const float coefficient = s.releaseCoefficient;
    const float resting = s.envelope;
    if (s.boxSame == window && resting + (1.0f - resting) * coefficient == resting
        && smallestGain(gains, frames) >= resting) {
        s.boxIndex = uint32_t((uint64_t(s.boxIndex) + frames) % window);
        const float average = std::clamp(float(s.boxSum / width), 0.0f, 1.0f);
        std::fill_n(gains, frames, average);
        if (frames > 0) minimum = std::min(minimum, average);
        return;
    }
    float* box = s.box.data();
    uint32_t boxIndex = s.boxIndex;
    double boxSum = s.boxSum;
    float envelope = s.envelope;
    uint32_t same = s.boxSame;
    double* sums = s.boxSums.data();
    for (uint32_t i = 0; i < frames; ++i) {
        const float smallest = gains[i];
        const float released = envelope + (1.0f - envelope) * coefficient;
        const float previous = envelope;
        envelope = smallest < released ? smallest : released;
        boxSum += double(envelope) - double(box[boxIndex]);
        box[boxIndex] = envelope;
        boxIndex = boxIndex + 1 == window ? 0 : boxIndex + 1;
        sums[i] = boxSum;
        same = envelope == previous ? std::min(same + 1, window) : 1;
    }
    s.boxIndex = boxIndex;
    s.boxSum = boxSum;
    s.envelope = envelope;
    s.boxSame = same;

    for (uint32_t i = 0; i < frames; ++i) gains[i] = std::clamp(float(sums[i] / width), 0.0f, 1.0f);
    minimum = std::min(minimum, smallestGain(gains, frames));
}

// 6. Delays each channel by W - 1 frames, applies the gain curve, clips to the ceiling; returns
//    the output's peak.
[[gnu::always_inline]] inline float delayAndApply(QRLimiterState& s, float* const* data, uint32_t channelCount,
                                                  const float* gains, uint32_t frames, float ceiling)
{
    const uint32_t length = s.window - 1;
    float peak = 0;
    for (uint32_t channel = 0; channel < channelCount; ++channel) {
        float* samples = data[channel];
        float* line = s.delay[channel].data();
        float* held = s.held.data();
        std::copy_n(samples, frames, held);
        const uint32_t fromLine = std::min(length, frames);
        readRing(line, length, s.delayIndex, samples, fromLine);
        std::copy_n(held, frames - fromLine, samples + fromLine);
        writeRing(line, length, s.delayIndex, held, frames);

        peak = std::max(peak, applyGains(samples, gains, frames, ceiling));
    }
    if (frames > 0) s.delayIndex = uint32_t((uint64_t(s.delayIndex) + frames) % length);
    return peak;
}

}  // namespace

QRLimiterUnit::QRLimiterUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

QRLimiterUnit::~QRLimiterUnit() { releaseState(); }

uint32_t QRLimiterUnit::windowForSampleRate(double sampleRate) const
{
    const float lookahead = std::clamp(state_.parameters.latest().lookaheadSeconds, 0.0005f, 0.05f);
    const long long window = std::llround(sampleRate * double(lookahead));
    return window < 3 ? 2u : uint32_t(window);
}

double QRLimiterUnit::latency() const
{
    // While allocated the window is fixed, so report the delay the signal really gets even if
    // the look-ahead was changed since.
    if (renderResourcesAllocated()) return double(state_.window - 1) / state_.sampleRate;
    const double sampleRate = outputBus().format().sampleRate;
    if (!(sampleRate > 0)) return 0;
    return double(windowForSampleRate(sampleRate) - 1) / sampleRate;
}

void QRLimiterUnit::configureCeiling(float ceiling, float lookaheadSeconds, float releaseSeconds)
{
    QRLimiterParameters next = state_.parameters.latest();
    next.ceiling = std::isfinite(ceiling) ? std::clamp(ceiling, minimumCeiling, maximumCeiling) : 0.999f;
    if (std::isfinite(lookaheadSeconds)) next.lookaheadSeconds = lookaheadSeconds;
    if (std::isfinite(releaseSeconds)) next.releaseSeconds = releaseSeconds;
    publish(next);
}

void QRLimiterUnit::publish(QRLimiterParameters next)
{
    const double rate = renderResourcesAllocated() ? state_.sampleRate : outputBus().format().sampleRate;
    next.releaseCoefficient = releaseCoefficientFor(rate, clampedRelease(next.releaseSeconds));
    state_.parameters.publish(next);
}

float QRLimiterUnit::readGain() { return takeReading(state_.minimumGain, 1.0f); }

bool QRLimiterUnit::allocateState(double sampleRate)
{
    QRLimiterState& s = state_;
    s.window = windowForSampleRate(sampleRate);
    s.sampleRate = sampleRate;
    publish(s.parameters.latest());
    bool allocated = s.blockTargets.allocate(s.window) && s.suffixMinima.allocate(s.window) && s.box.allocate(s.window)
                     && s.framePeaks.allocate(capacity()) && s.held.allocate(capacity())
                     && s.boxSums.allocate(capacity());
    for (uint32_t channel = 0; channel < channels(); ++channel)
        allocated = allocated && s.delay[channel].allocate(s.window - 1);
    return allocated;
}

void QRLimiterUnit::releaseState()
{
    QRLimiterState& s = state_;
    for (SampleBuffer& line : s.delay) line.release();
    s.blockTargets.release();
    s.suffixMinima.release();
    s.box.release();
    s.framePeaks.release();
    s.held.release();
    s.boxSums.release();
}

void QRLimiterUnit::resetState()
{
    QRLimiterState& s = state_;
    if (!s.box) return;
    for (SampleBuffer& line : s.delay) {
        if (line) line.clear();
    }
    s.box.fill(1.0f);
    s.boxSum = double(s.window);
    s.boxIndex = 0;
    s.boxSame = s.window;
    s.delayIndex = 0;
    // Frames before the reset do not count: their suffix minima are 1, which no target exceeds.
    s.suffixMinima.fill(1.0f);
    s.blockPosition = 0;
    s.blockMinimum = 1;
    s.envelope = 1;
    s.minimumGain.store(1);
}

bool QRLimiterUnit::passAtRest(float* const* data, uint32_t frames, float ceiling, float& gain, float& peak) noexcept
{
    QRLimiterState& s = state_;
    const uint32_t window = s.window;
    // The envelope rests (the release no longer moves it) and the last W envelope values all
    // equal it: every target of the last 2W - 1 frames was at least the envelope. The current
    // block holds only 1s so far.
    const float resting = s.envelope;
    if (frames == 0 || s.boxSame != window || resting + (1.0f - resting) * s.releaseCoefficient != resting
        || !(s.blockPosition == 0 || s.blockMinimum == 1.0f))
        return false;
    float loudest = 0;
    for (uint32_t channel = 0; channel < channels(); ++channel)
        loudest = std::max(loudest, sanitizeAndMeasure(data[channel], frames));
    if (loudest > ceiling) return false;

    // Every target of the call is 1, so no sliding minimum lies below the envelope, which
    // stays: every frame gets the box's average, and the block and the box advance as the full
    // computation would leave them.
    const uint32_t position = s.blockPosition;
    std::fill_n(s.blockTargets.data(), window, 1.0f);
    if (frames >= window - position) std::fill_n(s.suffixMinima.data(), window, 1.0f);
    s.blockPosition = uint32_t((uint64_t(position) + frames) % window);
    s.blockMinimum = 1;
    s.boxIndex = uint32_t((uint64_t(s.boxIndex) + frames) % window);
    gain = std::clamp(float(s.boxSum / double(window)), 0.0f, 1.0f);

    // Delay each channel by W - 1 frames: the line's frames first, then the call's. No sample
    // of these frames lies above the ceiling, nor does it once scaled by a gain of at most 1.
    const uint32_t length = window - 1;
    const uint32_t fromLine = std::min(length, frames);
    const uint32_t kept = frames - fromLine;
    peak = 0;
    for (uint32_t channel = 0; channel < channels(); ++channel) {
        float* samples = data[channel];
        float* line = s.delay[channel].data();
        float* held = s.held.data();
        // The frames that go into the line (the newest `length` at most) are held; the others
        // move up in place.
        std::copy_n(samples + kept, fromLine, held);
        std::memmove(samples + fromLine, samples, kept * sizeof(float));
        readRing(line, length, s.delayIndex, samples, fromLine);
        writeRing(line, length, uint32_t((uint64_t(s.delayIndex) + kept) % length), held, fromLine);
        peak = std::max(peak, gain == 1.0f ? peakMagnitude(samples, frames) : scaleAndMeasure(samples, frames, gain));
    }
    s.delayIndex = uint32_t((uint64_t(s.delayIndex) + frames) % length);
    return true;
}

float QRLimiterUnit::process(float* const* data, uint32_t frames) noexcept
{
    QRLimiterState& s = state_;
    s.parameters.acquire();
    const float ceiling = s.parameters.current().ceiling;
    s.releaseCoefficient = s.parameters.current().releaseCoefficient;
    float minimum = s.minimumGain.load();
    if (float gain = 1, peak = 0; passAtRest(data, frames, ceiling, gain, peak)) {
        publishReading(s.minimumGain, std::min(minimum, gain));
        return peak;
    }

    float* gains = s.framePeaks.data();
    const float loudest = framePeaks(data, channels(), gains, frames);
    const bool allOne = targetGains(gains, frames, loudest, ceiling);
    slidingMinima(s, gains, frames, allOne);
    releaseAndAverage(s, gains, frames, minimum);
    const float peak = delayAndApply(s, data, channels(), gains, frames, ceiling);

    publishReading(s.minimumGain, minimum);
    return peak;
}

extern "C" {

AudioComponentDescription QRRegisterLimiterUnit() { return registerEffectUnitOnce<QRLimiterUnit>(); }

}  // extern "C"

}  // namespace quorel
