#include "QRUtilityUnit.h"

#include "ParameterHandOff.h"
#include "QREffects.h"
#include "SampleRing.h"
#include "SampleSanitizing.h"
#include "UtilityStages.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

constexpr float maximumGain = 16;

// The steps of a render call, in order. Each is inlined into process().

// Ramp start: a new target (re)starts a ramp from wherever the gain is. While the ramp runs,
// writes the gain of each frame (updated before the frame is scaled) and returns true.
[[gnu::always_inline]] inline bool rampGains(QRUtilityState& s, float target, uint32_t frames)
{
    if (target != s.rampTarget) {
        s.rampTarget = target;
        s.rampRemaining = s.rampFrames;
        s.rampStep = (s.rampTarget - s.currentGain) / float(s.rampFrames);
    }
    if (s.rampRemaining == 0) return false;
    float* gains = s.gains.data();
    for (uint32_t i = 0; i < frames; ++i) {
        if (s.rampRemaining != 0) {
            s.currentGain += s.rampStep;
            if (--s.rampRemaining == 0) s.currentGain = s.rampTarget;
        }
        gains[i] = s.currentGain;
    }
    return true;
}

// What a call does with every channel, decided once.
struct CallPlan {
    float gain;           // the gain after the ramp's frames of this call
    uint32_t delay;       // frames
    bool ramping;         // the gains are in QRUtilityState::gains
    bool analyse;         // the analyser is ready
    bool feeding;         // the analyser is fed the frames' mean
    bool silent;          // a muting gain and no ramp: the output is silence
    bool direct;          // the line is not read: the clean input goes straight into it
    bool passing;         // the clean input passes as it is, measured by the input stage
    uint32_t firstPiece;  // frames up to where the ring wraps
};

[[gnu::always_inline]] inline CallPlan planCall(const QRUtilityState& s, const QRUtilityParameters& p, uint32_t frames,
                                                bool ramping)
{
    CallPlan plan;
    plan.gain = s.currentGain;
    plan.delay = std::min(p.delayFrames, s.ringCapacity - 1);
    plan.ramping = ramping;
    plan.analyse = s.analyser.ready();
    // While nobody reads the spectrum the analyser is not fed: the delay line keeps the clean
    // input of the last second, from which its ring is refilled once someone reads again.
    const bool recallable = s.ringCapacity > SpectrumAnalyser::frameLength;
    plan.feeding = plan.analyse && (!recallable || (p.spectrumWanted && !s.analyser.missesSamples()));
    // With a delay of 0, or silence, the line is not read, and the clean input goes straight
    // into it (in at most two pieces, where the ring wraps).
    plan.firstPiece = std::min(frames, s.ringCapacity - s.ringPosition);
    plan.silent = !ramping && plan.gain == 0;
    plan.direct = (plan.delay == 0 || plan.silent) && frames <= s.ringCapacity;
    // A gain of exactly 1 with no ramp, no ceiling and no delay passes the clean input as it is:
    // the input stage measures the output too (where the line does not wrap in this call).
    plan.passing =
        plan.direct && !plan.silent && !ramping && plan.gain == 1.0f && !(p.ceiling > 0) && plan.firstPiece == frames;
    return plan;
}

// What the call measured over its channels.
struct CallMeasures {
    uint32_t invalid = 0;
    uint32_t guarded = 0;
    float inputPeak = 0;
    float outputPeak = 0;
    double squares = 0;
};

// The input stage: cleans the channel into the line (direct) or into the held copy, measuring it.
[[gnu::always_inline]] inline void cleanInput(QRUtilityState& s, const QRUtilityParameters& p, const CallPlan& plan,
                                              float* samples, float* line, uint32_t frames, CallMeasures& m)
{
    if (plan.passing) {
        const InputMeasure in = cleanAndCopy(samples, frames, line + s.ringPosition, p.rmsWanted);
        m.invalid += in.invalid;
        m.inputPeak = std::max(m.inputPeak, in.peak);
        m.outputPeak = std::max(m.outputPeak, in.peak);
        m.squares += in.squares;
    } else if (plan.direct) {
        const InputMeasure first = cleanAndCopy(samples, plan.firstPiece, line + s.ringPosition, false);
        const InputMeasure second = cleanAndCopy(samples + plan.firstPiece, frames - plan.firstPiece, line, false);
        m.invalid += first.invalid + second.invalid;
        m.inputPeak = std::max({m.inputPeak, first.peak, second.peak});
    } else {
        const InputMeasure in = cleanAndCopy(samples, frames, s.held.data(), false);
        m.invalid += in.invalid;
        m.inputPeak = std::max(m.inputPeak, in.peak);
    }
}

// One channel: input stage, the analyser's mean, the delay, the gain and ceiling.
[[gnu::always_inline]] inline void processChannel(QRUtilityState& s, const QRUtilityParameters& p, const CallPlan& plan,
                                                  uint32_t channel, float* samples, uint32_t frames, CallMeasures& m)
{
    float* line = s.delay[channel].data();
    cleanInput(s, p, plan, samples, line, frames, m);

    if (plan.feeding) {
        float* mono = s.mono.data();
        if (channel == 0)
            std::copy_n(samples, frames, mono);
        else
            for (uint32_t i = 0; i < frames; ++i) mono[i] = (mono[i] + samples[i]) * 0.5f;  // the mean of the two
    }

    // Delay: frame i leaves `delay` frames after it entered the line.
    if (!plan.direct) {
        const float* held = s.held.data();
        const uint32_t fromLine = plan.silent ? 0 : std::min(plan.delay, frames);
        readRing(line, s.ringCapacity, (s.ringPosition + s.ringCapacity - plan.delay) % s.ringCapacity, samples,
                 fromLine);
        if (!plan.silent) std::copy_n(held, frames - fromLine, samples + fromLine);
        writeRing(line, s.ringCapacity, s.ringPosition, held, frames);
    }

    if (plan.silent) {
        std::fill_n(samples, frames, 0.0f);
        return;
    }
    if (plan.passing) return;
    const OutputMeasure out =
        scaleAndMeasure(samples, frames, plan.ramping ? s.gains.data() : nullptr, plan.gain, p.ceiling, p.rmsWanted);
    m.guarded += out.guarded;
    m.outputPeak = std::max(m.outputPeak, out.peak);
    m.squares += out.squares;
}

// The analyser takes the frames' mean, or skips them and, once someone reads again, refills its
// ring from the delay lines.
[[gnu::always_inline]] inline void feedAnalyser(QRUtilityState& s, const QRUtilityParameters& p, const CallPlan& plan,
                                                uint32_t channelCount, uint32_t frames)
{
    if (plan.feeding) {
        s.analyser.feed(s.mono.data(), frames, p.spectrumWanted);
    } else if (plan.analyse) {
        s.analyser.skip(frames);
        if (p.spectrumWanted) {
            const float* lines[2] = {s.delay[0].data(), s.delay[1].data()};
            s.analyser.recall(lines, channelCount, s.ringCapacity, s.ringPosition);
        }
    }
}

[[gnu::always_inline]] inline void publishMeasures(QRUtilityState& s, const CallMeasures& m, uint32_t channelCount,
                                                   uint32_t frames)
{
    publishReading(s.inputPeak, m.inputPeak);
    publishReading(s.outputPeak, m.outputPeak);
    publishReading(s.renderedGain, s.currentGain);
    publishReading(s.rms, frames > 0 ? float(std::sqrt(m.squares / (double(frames) * channelCount))) : 0.0f);
    // Counts that stay as they are (nearly always) cost no locked addition.
    if (m.guarded != 0) s.guarded.fetch_add(m.guarded);
    if (m.invalid != 0) s.invalid.fetch_add(m.invalid);
}

}  // namespace

QRUtilityUnit::QRUtilityUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

QRUtilityUnit::~QRUtilityUnit() { releaseState(); }

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
    if (renderResourcesAllocated()) QRAllocateAnalyser(outputBus().format().sampleRate, &state_);
}

void QRUtilityUnit::setSpectrumWanted(bool wanted)
{
    QRUtilityParameters next = state_.parameters.latest();
    next.spectrumWanted = wanted;
    state_.parameters.publish(next);
}

QRSpectrumStatus QRUtilityUnit::spectrumStatus() const { return state_.analyser.status(); }

uint32_t QRUtilityUnit::readSpectrum(float* destination, uint32_t capacity) const
{
    return state_.analyser.read(destination, capacity);
}

bool QRUtilityUnit::allocateState(double sampleRate)
{
    QRUtilityState& s = state_;
    s.rampFrames = std::max(1u, uint32_t(sampleRate * 0.02));
    s.ringCapacity = uint32_t(std::ceil(sampleRate)) + 1;
    bool allocated = s.held.allocate(capacity()) && s.gains.allocate(capacity()) && s.mono.allocate(capacity());
    for (uint32_t channel = 0; channel < channels(); ++channel)
        allocated = allocated && s.delay[channel].allocate(s.ringCapacity);
    return allocated && QRAllocateAnalyser(sampleRate, &s);
}

void QRUtilityUnit::releaseState()
{
    QRFreeAnalyser(&state_);
    for (SampleBuffer& line : state_.delay) line.release();
    state_.held.release();
    state_.gains.release();
    state_.mono.release();
}

void QRUtilityUnit::resetState()
{
    QRUtilityState& s = state_;
    for (SampleBuffer& line : s.delay) {
        if (line) line.clear();
    }
    s.ringPosition = 0;
    s.analyser.reset();
    // The render side's block, not the writer's latest(): a restart resets on the render thread.
    s.parameters.acquire();
    const float target = s.parameters.current().targetGain;
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
    s.parameters.acquire();
    const QRUtilityParameters& p = s.parameters.current();
    const bool ramping = rampGains(s, p.targetGain, frames);
    const CallPlan plan = planCall(s, p, frames, ramping);

    CallMeasures measures;
    for (uint32_t channel = 0; channel < channelCount; ++channel)
        processChannel(s, p, plan, channel, data[channel], frames, measures);
    if (frames > 0) s.ringPosition = uint32_t((uint64_t(s.ringPosition) + frames) % s.ringCapacity);

    feedAnalyser(s, p, plan, channelCount, frames);
    publishMeasures(s, measures, channelCount, frames);
    return measures.outputPeak;
}

extern "C" {

AudioComponentDescription QRRegisterUtilityUnit() { return registerEffectUnitOnce<QRUtilityUnit>(); }

bool QRAllocateAnalyser(double sampleRate, QRUtilityState* state)
{
    return state && state->analyser.allocate(sampleRate);
}

void QRFreeAnalyser(QRUtilityState* state)
{
    if (state) state->analyser.release();
}

}  // extern "C"

}  // namespace quorel
