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
                if (--s.rampRemaining == 0) s.currentGain = s.rampTarget;
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
            const InputMeasure in = cleanAndCopy(samples, frames, line + s.ringPosition, p.rmsWanted);
            invalid += in.invalid;
            inputPeak = std::max(inputPeak, in.peak);
            outputPeak = std::max(outputPeak, in.peak);
            squares += in.squares;
        } else if (direct) {
            const InputMeasure first = cleanAndCopy(samples, firstPiece, line + s.ringPosition, false);
            const InputMeasure second = cleanAndCopy(samples + firstPiece, frames - firstPiece, line, false);
            invalid += first.invalid + second.invalid;
            inputPeak = std::max({inputPeak, first.peak, second.peak});
        } else {
            float* held = s.held.data();
            const InputMeasure in = cleanAndCopy(samples, frames, held, false);
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
            readRing(line, s.ringCapacity, (s.ringPosition + s.ringCapacity - delay) % s.ringCapacity, samples,
                     fromLine);
            if (!silent) std::copy_n(held, frames - fromLine, samples + fromLine);
            writeRing(line, s.ringCapacity, s.ringPosition, held, frames);
        }

        if (silent) {
            std::fill_n(samples, frames, 0.0f);
            continue;
        }
        if (passing) continue;
        const OutputMeasure m =
            scaleAndMeasure(samples, frames, ramping ? s.gains.data() : nullptr, gain, ceiling, p.rmsWanted);
        guarded += m.guarded;
        outputPeak = std::max(outputPeak, m.peak);
        squares += m.squares;
    }
    if (frames > 0) s.ringPosition = uint32_t((uint64_t(s.ringPosition) + frames) % s.ringCapacity);

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
    // Counts that stay as they are (nearly always) cost no locked addition.
    if (guarded != 0) s.guarded.fetch_add(guarded);
    if (invalid != 0) s.invalid.fetch_add(invalid);
    return outputPeak;
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
