#pragma once

#include "AudioComponentDescription.h"
#include "EffectUnit.h"
#include "QRLimiterState.h"
#include "QRRegistration.h"

namespace quorel {

// Look-ahead brick-wall peak limiter with one gain for all channels: the signal is delayed by
// W - 1 frames, the gain follows the sliding minimum of the coming peaks' target gains,
// releases exponentially and is smoothed by a W-frame box average, and a final hard clip keeps
// every output sample within the ceiling.
class QRLimiterUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("cvlm");
    static constexpr const char* registeredName = "Quorel: Limiter";

    explicit QRLimiterUnit(const AudioComponentDescription& description = effectDescription(subtype));
    ~QRLimiterUnit() override;

    // llround(sampleRate x look-ahead), the look-ahead (a float) clamped to 0.0005...0.05 s;
    // a window below 3 becomes 2.
    uint32_t windowForSampleRate(double sampleRate) const;
    // (window - 1) / sampleRate: of the allocated window while allocated, else of the window
    // the output bus's rate would give; 0 without a positive rate.
    double latency() const override;

    // Ceiling: not finite -> 0.999, else clamped to 0.1...1. Look-ahead and release are stored
    // when finite (the window and the render call clamp them).
    void configureCeiling(float ceiling, float lookaheadSeconds, float releaseSeconds);
    // Smallest gain applied since the previous read (1 = no reduction); puts 1 back.
    float readGain();

    const QRLimiterState& state() const { return state_; }

protected:
    bool allocateState(double sampleRate) override;
    void releaseState() override;
    void resetState() override;
    float process(float* const* data, uint32_t frames) noexcept override;

private:
    // Derives the release coefficient for the allocated rate (else the output bus's) and
    // publishes the parameters.
    void publish(QRLimiterParameters next);
    // The call at rest: the envelope rests, and no sample of the call lies above the ceiling,
    // so every frame gets the same gain (the box's average) and the samples are only delayed
    // and scaled. Sets `gain` and `peak` (the output's) and returns true then; else returns
    // false with the samples cleaned and nothing else changed.
    bool passAtRest(float* const* data, uint32_t frames, float ceiling, float& gain, float& peak) noexcept;

    QRLimiterState state_;
};

}  // namespace quorel
