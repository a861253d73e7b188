#include "QRUtilityUnit.h"

#include "ParameterHandOff.h"
#include "QREffects.h"
#include "SampleRing.h"
#include "SampleSanitizing.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

constexpr float maximumGain = 16;

using sampleVectors::Float4;
using sampleVectors::Int4;

using Double2 = double __attribute__((vector_size(16)));

// What the input stage found in one channel (the squares only when asked for).
struct InputMeasure {
    float peak = 0;
    uint32_t invalid = 0;
    double squares = 0;
};

// The input stage of one channel in one pass: copies the samples to `copy` with every invalid
// one replaced by 0, counts those and measures the peak magnitude of the result. With Squares
// it also sums the squares of the result in double precision, grouped and ordered as the output
// stage sums them, so a unit that passes its input unchanged measures its output here, to the
// same value, without a second pass. The samples themselves are rewritten only when one was
// invalid (rarely: a second pass then).
template <bool Squares>
InputMeasure cleanAndCopy(float* samples, uint32_t count, float* copy)
{
    InputMeasure m;
    // Two sets of running values (even and odd groups of four), so that the peak's compare
    // chains of neighbouring groups overlap; each keeps its squares as two pairs.
    Float4 peakEven{}, peakOdd{};
    Double2 lowEven{}, highEven{}, lowOdd{}, highOdd{};
    Int4 invalid{};
    const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
    auto group = [&](uint32_t at, Float4& peak, Double2& low, Double2& high) __attribute__((always_inline)) {
        Int4 bits;
        std::memcpy(&bits, samples + at, sizeof bits);
        const Int4 bad = (bits & exponent) == exponent;
        invalid -= bad;
        bits = bad ? Int4{} : bits;
        std::memcpy(copy + at, &bits, sizeof bits);
        Float4 magnitude;
        const Int4 magnitudeBits = bits & 0x7fffffff;
        std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
        peak = magnitude > peak ? magnitude : peak;  // valid samples: the plain maximum
        if constexpr (Squares) {
            Float4 y;
            std::memcpy(&y, &bits, sizeof y);
            const Double2 a = {double(y[0]), double(y[1])};
            const Double2 b = {double(y[2]), double(y[3])};
            low += a * a;
            high += b * b;
        }
    };
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        group(i, peakEven, lowEven, highEven);
        group(i + 4, peakOdd, lowOdd, highOdd);
    }
    for (; i + 4 <= count; i += 4)
        group(i, peakEven, lowEven, highEven);
    const Float4 peak = peakEven > peakOdd ? peakEven : peakOdd;
    Double2 low = lowEven + lowOdd, high = highEven + highOdd;
    float top = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m.invalid = uint32_t(invalid[0] + invalid[1] + invalid[2] + invalid[3]);
    for (; i < count; ++i) {
        const bool bad = isInvalidSample(samples[i]);
        m.invalid += bad ? 1u : 0u;
        copy[i] = bad ? 0.0f : samples[i];
        top = std::max(top, std::fabs(copy[i]));
        if constexpr (Squares)
            low[0] += double(copy[i]) * double(copy[i]);
    }
    if (m.invalid != 0)
        sanitizeSamples(samples, count);
    m.peak = top;
    if constexpr (Squares)
        m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// What the output stage measured of one channel.
struct OutputMeasure {
    float peak = 0;
    double squares = 0;
    uint32_t guarded = 0;
};

// The output stage of one channel in one pass: scales every sample by `gains[i]` (Ramp) or
// `gain`, limits it to +-ceiling (Limit), and measures the result: its peak magnitude, how many
// samples the ceiling limited and the sum of squares in double precision. One copy of the loop
// per case, so none of them tests or holds what it does not use and every running value stays
// in a register.
template <bool Ramp, bool Limit, bool Squares>
OutputMeasure scaleAndMeasureAs(float* samples, uint32_t count, const float* gains, float gain, float ceiling)
{
    OutputMeasure m;
    // Two sets of running values (even and odd groups of four), so that the chains of
    // neighbouring groups overlap; each keeps its squares as two pairs.
    Float4 peakEven{}, peakOdd{};
    Int4 limited{};
    Double2 lowEven{}, highEven{}, lowOdd{}, highOdd{};
    const Float4 top = Float4{} + ceiling;
    auto group = [&](uint32_t at, Float4& peak, Double2& low, Double2& high) __attribute__((always_inline)) {
        Float4 y, g = Float4{} + gain;
        std::memcpy(&y, samples + at, sizeof y);
        if constexpr (Ramp)
            std::memcpy(&g, gains + at, sizeof g);
        y *= g;
        Float4 magnitude = y < 0 ? -y : y;
        if constexpr (Limit) {
            const Int4 over = magnitude > top;
            limited -= over;
            y = over ? (y < 0 ? -top : top) : y;
            magnitude = over ? top : magnitude;
        }
        std::memcpy(samples + at, &y, sizeof y);
        peak = magnitude > peak ? magnitude : peak;
        if constexpr (Squares) {
            const Double2 a = {double(y[0]), double(y[1])};
            const Double2 b = {double(y[2]), double(y[3])};
            low += a * a;
            high += b * b;
        }
    };
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        group(i, peakEven, lowEven, highEven);
        group(i + 4, peakOdd, lowOdd, highOdd);
    }
    for (; i + 4 <= count; i += 4)
        group(i, peakEven, lowEven, highEven);
    const Float4 peak = peakEven > peakOdd ? peakEven : peakOdd;
    Double2 low = lowEven + lowOdd, high = highEven + highOdd;
    m.peak = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m.guarded = uint32_t(limited[0] + limited[1] + limited[2] + limited[3]);
    for (; i < count; ++i) {
        float y = samples[i] * (Ramp ? gains[i] : gain);
        if (Limit && std::fabs(y) > ceiling) {
            y = std::copysign(ceiling, y);
            ++m.guarded;
        }
        samples[i] = y;
        m.peak = std::max(m.peak, std::fabs(y));
        if constexpr (Squares)
            low[0] += double(y) * double(y);
    }
    if constexpr (Squares)
        m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// `gains` null: no ramp; ceiling 0: no ceiling; the squares only when `squares`.
OutputMeasure scaleAndMeasure(float* samples, uint32_t count, const float* gains, float gain, float ceiling,
                              bool squares)
{
    using Kind = OutputMeasure (*)(float*, uint32_t, const float*, float, float);
    static constexpr Kind kinds[2][2][2] = {
        {{scaleAndMeasureAs<false, false, false>, scaleAndMeasureAs<false, false, true>},
         {scaleAndMeasureAs<false, true, false>, scaleAndMeasureAs<false, true, true>}},
        {{scaleAndMeasureAs<true, false, false>, scaleAndMeasureAs<true, false, true>},
         {scaleAndMeasureAs<true, true, false>, scaleAndMeasureAs<true, true, true>}}};
    return kinds[gains != nullptr][ceiling > 0][squares](samples, count, gains, gain, ceiling);
}

}  // namespace

QRUtilityUnit::QRUtilityUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

QRUtilityUnit::~QRUtilityUnit()
{
    releaseState();
}

void QRUtilityUnit::setGain(float gain)
{
    QRUtilityParameters next = state_.parameters.latest();
    next.targetGain = std::isfinite(gain) ? std::clamp(gain, 0.0f, maximumGain) : 0.0f;
    state_.parameters.publish(next);
}

void QRUtilityUnit::setRmsWanted(bool wanted)
{
    QRUtilityParameters next = state_.parameters.latest();
    next.rmsWanted = wanted;
    state_.parameters.publish(next);
}

void QRUtilityUnit::configureDelay(uint32_t delayFrames, float ceiling)
{
    QRUtilityParameters next = state_.parameters.latest();
    next.delayFrames = delayFrames;
    next.ceiling = std::isfinite(ceiling) ? std::clamp(ceiling, 0.0f, 1.0f) : 0.0f;
    state_.parameters.publish(next);
}

QRMeterValues QRUtilityUnit::readMeter() const
{
    return {loadReading(state_.inputPeak), loadReading(state_.outputPeak), loadReading(state_.rms),
            loadReading(state_.guarded), loadReading(state_.invalid)};
}

bool QRUtilityUnit::gainHasSettled() const
{
    return state_.parameters.latest().targetGain == loadReading(state_.renderedGain);
}

void QRUtilityUnit::configureSpectrum(const float* centres, uint32_t count)
{
    state_.analyser.configure(centres, count);
    if (renderResourcesAllocated())
        QRAllocateAnalyser(outputBus().format().sampleRate, &state_);
}

void QRUtilityUnit::setSpectrumWanted(bool wanted)
{
    QRUtilityParameters next = state_.parameters.latest();
    next.spectrumWanted = wanted;
    state_.parameters.publish(next);
}

QRSpectrumStatus QRUtilityUnit::spectrumStatus() const
{
    return state_.analyser.status();
}

uint32_t QRUtilityUnit::readSpectrum(float* destination, uint32_t capacity) const
{
    return state_.analyser.read(destination, capacity);
}

bool QRUtilityUnit::allocateState(double sampleRate)
{
    QRUtilityState& s = state_;
    s.rampFrames = std::max(1u, uint32_t(sampleRate * 0.02));
    s.ringCapacity = uint32_t(std::ceil(sampleRate)) + 1;
    bool allocated = s.held.allocate(capacity()) && s.gains.allocate(capacity())
        && s.mono.allocate(capacity());
    for (uint32_t channel = 0; channel < channels(); ++channel)
        allocated = allocated && s.delay[channel].allocate(s.ringCapacity);
    return allocated && QRAllocateAnalyser(sampleRate, &s);
}

void QRUtilityUnit::releaseState()
{
    QRFreeAnalyser(&state_);
    for (SampleBuffer& line : state_.delay)
        line.release();
    state_.held.release();
    state_.gains.release();
    state_.mono.release();
}

void QRUtilityUnit::resetState()
{
    QRUtilityState& s = state_;
    for (SampleBuffer& line : s.delay) {
        if (line)
            line.clear();
    }
    s.ringPosition = 0;
    s.analyser.reset();
    const float target = s.parameters.latest().targetGain;
    s.currentGain = target;
    s.rampTarget = target;
    s.rampRemaining = 0;
    s.renderedGain.store(target);
    s.inputPeak.store(0);
    s.outputPeak.store(0);
    s.rms.store(0);
    s.guarded.store(0);
    s.invalid.store(0);
}

float QRUtilityUnit::process(float* const* data, uint32_t frames) noexcept
{
    QRUtilityState& s = state_;
    const uint32_t channelCount = channels();

    // Ramp start: a new target (re)starts a ramp from wherever the gain is.
    s.parameters.acquire();
    const QRUtilityParameters& p = s.parameters.current();
    const float target = p.targetGain;
    if (target != s.rampTarget) {
        s.rampTarget = target;
        s.rampRemaining = s.rampFrames;
        s.rampStep = (s.rampTarget - s.currentGain) / float(s.rampFrames);
    }
    const float ceiling = p.ceiling;
    const uint32_t delay = std::min(p.delayFrames, s.ringCapacity - 1);
    const bool analyse = s.analyser.ready();
    // While nobody reads the spectrum the analyser is not fed: the delay line keeps the clean
    // input of the last second, from which its ring is refilled once someone reads again.
    const bool recallable = s.ringCapacity > SpectrumAnalyser::frameLength;
    const bool feeding = analyse && (!recallable || (p.spectrumWanted && !s.analyser.missesSamples()));

    // Gain of each frame, updated before the frame is scaled.
    const bool ramping = s.rampRemaining != 0;
    if (ramping) {
        float* gains = s.gains.data();
        for (uint32_t i = 0; i < frames; ++i) {
            if (s.rampRemaining != 0) {
                s.currentGain += s.rampStep;
                if (--s.rampRemaining == 0)
                    s.currentGain = s.rampTarget;
            }
            gains[i] = s.currentGain;
        }
    }
    const float gain = s.currentGain;

    uint32_t invalid = 0;
    uint32_t guarded = 0;
    float inputPeak = 0;
    float outputPeak = 0;
    double squares = 0;
    // With a muting gain and no ramp the output is silence. With a delay of 0, or silence, the
    // line is not read, and the clean input goes straight into it (in at most two pieces, where
    // the ring wraps).
    const uint32_t firstPiece = std::min(frames, s.ringCapacity - s.ringPosition);
    const bool silent = !ramping && gain == 0;
    const bool direct = (delay == 0 || silent) && frames <= s.ringCapacity;
    // A gain of exactly 1 with no ramp, no ceiling and no delay passes the clean input as it is:
    // the input stage measures the output too (where the line does not wrap in this call).
    const bool passing = direct && !silent && !ramping && gain == 1.0f && !(ceiling > 0) && firstPiece == frames;
    for (uint32_t channel = 0; channel < channelCount; ++channel) {
        float* samples = data[channel];
        float* line = s.delay[channel].data();
        if (passing) {
            const InputMeasure in = p.rmsWanted ? cleanAndCopy<true>(samples, frames, line + s.ringPosition)
                                                : cleanAndCopy<false>(samples, frames, line + s.ringPosition);
            invalid += in.invalid;
            inputPeak = std::max(inputPeak, in.peak);
            outputPeak = std::max(outputPeak, in.peak);
            squares += in.squares;
        } else if (direct) {
            const InputMeasure first = cleanAndCopy<false>(samples, firstPiece, line + s.ringPosition);
            const InputMeasure second = cleanAndCopy<false>(samples + firstPiece, frames - firstPiece, line);
            invalid += first.invalid + second.invalid;
            inputPeak = std::max({inputPeak, first.peak, second.peak});
        } else {
            float* held = s.held.data();
            const InputMeasure in = cleanAndCopy<false>(samples, frames, held);
            invalid += in.invalid;
            inputPeak = std::max(inputPeak, in.peak);
        }

        if (feeding) {
            float* mono = s.mono.data();
            if (channel == 0)
                std::copy_n(samples, frames, mono);
            else
                for (uint32_t i = 0; i < frames; ++i)
                    mono[i] = (mono[i] + samples[i]) * 0.5f;  // the mean of the two channels
        }

        // Delay: frame i leaves `delay` frames after it entered the line.
        if (!direct) {
            const float* held = s.held.data();
            const uint32_t fromLine = silent ? 0 : std::min(delay, frames);
            readRing(line, s.ringCapacity, (s.ringPosition + s.ringCapacity - delay) % s.ringCapacity,
                     samples, fromLine);
            if (!silent)
                std::copy_n(held, frames - fromLine, samples + fromLine);
            writeRing(line, s.ringCapacity, s.ringPosition, held, frames);
        }

        if (silent) {
            std::fill_n(samples, frames, 0.0f);
            continue;
        }
        if (passing)
            continue;
        const OutputMeasure m = scaleAndMeasure(samples, frames, ramping ? s.gains.data() : nullptr, gain, ceiling,
                                                 p.rmsWanted);
        guarded += m.guarded;
        outputPeak = std::max(outputPeak, m.peak);
        squares += m.squares;
    }
    if (frames > 0)
        s.ringPosition = uint32_t((uint64_t(s.ringPosition) + frames) % s.ringCapacity);

    if (feeding) {
        s.analyser.feed(s.mono.data(), frames, p.spectrumWanted);
    } else if (analyse) {
        s.analyser.skip(frames);
        if (p.spectrumWanted) {
            const float* lines[2] = {s.delay[0].data(), s.delay[1].data()};
            s.analyser.recall(lines, channelCount, s.ringCapacity, s.ringPosition);
        }
    }

    publishReading(s.inputPeak, inputPeak);
    publishReading(s.outputPeak, outputPeak);
    publishReading(s.renderedGain, s.currentGain);
    publishReading(s.rms, frames > 0 ? float(std::sqrt(squares / (double(frames) * channelCount))) : 0.0f);
    s.guarded.fetch_add(guarded);
    s.invalid.fetch_add(invalid);
    return outputPeak;
}

extern "C" {

AudioComponentDescription QRRegisterUtilityUnit()
{
    return registerEffectUnitOnce<QRUtilityUnit>();
}

bool QRAllocateAnalyser(double sampleRate, QRUtilityState* state)
{
    return state && state->analyser.allocate(sampleRate);
}

void QRFreeAnalyser(QRUtilityState* state)
{
    if (state)
        state->analyser.release();
}

}  // extern "C"

}  // namespace quorel
