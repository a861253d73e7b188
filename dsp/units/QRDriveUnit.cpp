#include "QRDriveUnit.h"

#include "ParameterHandOff.h"
#include "QREffects.h"

#include <algorithm>
#include <cmath>

namespace quorel {

QRDriveUnit::QRDriveUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

uint32_t QRDriveUnit::factorForSampleRate(double sampleRate)
{
    return OversamplingFilter::factorForSampleRate(sampleRate);
}

double QRDriveUnit::latency() const
{
    const double rate = outputBus().format().sampleRate;
    if (!(rate > 0)) return 0;
    const uint32_t factor = factorForSampleRate(rate);
    return factor == 1 ? 0 : (128.0 / factor) / rate;
}

void QRDriveUnit::configureAmount(float amount, float ceiling)
{
    const DriveCurve& latest = state_.parameters.latest();
    state_.parameters.publish(DriveCurve::make(std::isfinite(amount) ? amount : latest.amount,
                                               std::isfinite(ceiling) ? ceiling : latest.ceiling));
}

float QRDriveUnit::readActivity() { return takeReading(state_.activity, 0.0f); }

bool QRDriveUnit::allocateState(double sampleRate)
{
    state_.channels = channels();
    state_.capacity = capacity();
    state_.factor = factorForSampleRate(sampleRate);
    state_.taps = state_.factor > 1 ? OversamplingFilter::taps : 1;
    for (uint32_t channel = 0; channel < state_.channels; ++channel)
        if (!state_.oversampler[channel].allocate(state_.factor, state_.capacity)) return false;
    return true;
}

void QRDriveUnit::releaseState()
{
    for (DriveOversampler& oversampler : state_.oversampler) oversampler.release();
}

void QRDriveUnit::resetState()
{
    if (!state_.oversampler[0].allocated()) return;
    for (DriveOversampler& oversampler : state_.oversampler) oversampler.reset();
    takeReading(state_.activity, 0.0f);
    state_.sounding = false;
}

void QRDriveUnit::stepTowardParameters() noexcept
{
    const DriveCurve& target = state_.parameters.current();
    if (++state_.changeStepsDone >= QRDriveState::changeSteps) {
        state_.applied = target;
        return;
    }
    const float t = float(state_.changeStepsDone) / float(QRDriveState::changeSteps);
    const DriveCurve& from = state_.changeFrom;
    state_.applied = DriveCurve::make(from.amount + (target.amount - from.amount) * t,
                                      from.ceiling + (target.ceiling - from.ceiling) * t);
}

void QRDriveUnit::processPiece(float* const* data, uint32_t offset, uint32_t frames, float& activity,
                               float& peak) noexcept
{
    for (uint32_t channel = 0; channel < state_.channels; ++channel) {
        const DriveOversampler::Result result =
            state_.oversampler[channel].process(data[channel] + offset, frames, state_.applied);
        activity = std::max(activity, result.activity);
        peak = std::max(peak, result.peak);
    }
}

float QRDriveUnit::process(float* const* data, uint32_t frames) noexcept
{
    if (state_.parameters.acquire()) {
        if (state_.sounding) {
            state_.changeFrom = state_.applied;
            state_.changeStepsDone = 0;
        } else {
            state_.applied = state_.parameters.current();
            state_.changeStepsDone = QRDriveState::changeSteps;
        }
    }
    state_.sounding = true;
    float activity = state_.activity.load();
    float peak = 0;
    uint32_t done = 0;
    while (state_.changeStepsDone < QRDriveState::changeSteps && done < frames) {
        const uint32_t n = std::min(QRDriveState::changeStep, frames - done);
        stepTowardParameters();
        processPiece(data, done, n, activity, peak);
        done += n;
    }
    if (done < frames) processPiece(data, done, frames - done, activity, peak);
    publishReading(state_.activity, activity);
    return peak;
}

extern "C" {

AudioComponentDescription QRRegisterDriveUnit() { return registerEffectUnitOnce<QRDriveUnit>(); }

}  // extern "C"

}  // namespace quorel
