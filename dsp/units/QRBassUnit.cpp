#include "QRBassUnit.h"

#include "QREffects.h"

#include <algorithm>
#include <cmath>

namespace quorel {

QRBassUnit::QRBassUnit(const AudioComponentDescription& description) : EffectUnit(description) {}

void QRBassUnit::configureAmount(float amount)
{
    if (std::isfinite(amount)) state_.parameters.publish({std::clamp(amount, 0.0f, 1.0f)});
}

bool QRBassUnit::allocateState(double sampleRate)
{
    state_.channels = channels();
    state_.capacity = capacity();
    state_.harmonics.prepare(sampleRate);
    return true;
}

void QRBassUnit::releaseState() {}

void QRBassUnit::resetState() { state_.harmonics.reset(); }

float QRBassUnit::process(float* const* data, uint32_t frames) noexcept
{
    state_.parameters.acquire();
    return state_.harmonics.process(data, state_.channels, frames, state_.parameters.current().amount);
}

extern "C" {

AudioComponentDescription QRRegisterBassUnit() { return registerEffectUnitOnce<QRBassUnit>(); }

}  // extern "C"

}  // namespace quorel
