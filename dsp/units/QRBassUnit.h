#pragma once

#include "EffectUnit.h"
#include "QRBassState.h"
#include "QRRegistration.h"

namespace quorel {

// Bass harmonics: adds the second, third and fourth harmonics of the 30...110 Hz band, so bass
// is heard on small speakers and earbuds that cannot reproduce the fundamental. No latency, no
// readings.
class QRBassUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("qrbs");
    static constexpr const char* registeredName = "Quorel: Bass";

    explicit QRBassUnit(const AudioComponentDescription& description = effectDescription(subtype));

    // A finite amount is clamped to 0...1; a value that is not finite is ignored.
    void configureAmount(float amount);

    const QRBassState& state() const { return state_; }

protected:
    bool allocateState(double sampleRate) override;
    void releaseState() override;
    void resetState() override;
    float process(float* const* data, uint32_t frames) noexcept override;

private:
    QRBassState state_;
};

}  // namespace quorel
