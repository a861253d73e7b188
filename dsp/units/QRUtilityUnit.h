#pragma once

#include "AudioComponentDescription.h"
#include "EffectUnit.h"
#include "QRMeterValues.h"
#include "QRRegistration.h"
#include "QRSpectrumStatus.h"
#include "QRUtilityState.h"

namespace quorel {

// General-purpose stage: click-free gain ramp (20 ms), whole-frame delay up to one second,
// optional hard ceiling, peak/RMS meters with counts of guarded and invalid samples, and a
// spectrum analyser of its input. Reports no latency whatever its delay (the delay lines paths
// up).
class QRUtilityUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("cvut");
    static constexpr const char* registeredName = "Quorel: Utility";

    explicit QRUtilityUnit(const AudioComponentDescription& description = effectDescription(subtype));
    ~QRUtilityUnit() override;

    // Not finite -> 0; clamped to 0...16. The ramp starts at the next render call.
    void setGain(float gain);
    // Delay in frames (limited to one second when rendering); ceiling linear, clamped to 0...1,
    // not finite -> 0 (off).
    void configureDelay(uint32_t delayFrames, float ceiling);
    QRMeterValues readMeter() const;
    bool gainHasSettled() const;
    // Whether anyone reads the rms (initially true): without readers the unit sums no squares
    // and its rms reading rests at 0; the peaks and counts are measured all the same.
    void setRmsWanted(bool wanted);

    // Band centres in Hz (at most 64); rebuilds the analyser at once when allocated. Not while
    // rendering.
    void configureSpectrum(const float* centres, uint32_t count);
    // Whether anyone reads the spectrum (initially true): without readers the analyser is not
    // fed and transforms nothing; asked again, the next render call refills it with the last
    // 4096 samples from the delay line, so readers get current bands within one render call.
    void setSpectrumWanted(bool wanted);
    QRSpectrumStatus spectrumStatus() const;
    uint32_t readSpectrum(float* destination, uint32_t capacity) const;

    QRUtilityState& state() { return state_; }

protected:
    bool allocateState(double sampleRate) override;
    void releaseState() override;
    void resetState() override;
    float process(float* const* data, uint32_t frames) noexcept override;

private:
    QRUtilityState state_;
};

}  // namespace quorel
