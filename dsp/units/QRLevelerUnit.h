#pragma once

#include "AudioComponentDescription.h"
#include "EffectUnit.h"
#include "QRLevelerReading.h"
#include "QRLevelerState.h"
#include "QRRegistration.h"

namespace quorel {

// Automatic level: measures the input's loudness with the K-weighting of ITU-R BS.1770 in
// 100 ms bins and steers a slowly smoothed gain towards the target loudness, scaled by the
// strength (0 = off). No latency.
class QRLevelerUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("qrlv");
    static constexpr const char* registeredName = "Quorel: Leveler";

    explicit QRLevelerUnit(const AudioComponentDescription& description = effectDescription(subtype));

    // Finite values are clamped (strength 0...1, target -30...-6 LUFS) and stored; others are
    // ignored.
    void configureStrength(float strength, float targetLUFS);
    QRLevelerReading reading() const;

    const QRLevelerState& state() const { return state_; }

protected:
    bool allocateState(double sampleRate) override;
    void releaseState() override {}
    void resetState() override;
    float process(float* const* data, uint32_t frames) noexcept override;

private:
    // Both replace invalid samples by 0 as they read them and return the peak magnitude.
    float measureMono(float* samples, uint32_t count) noexcept;
    float measureStereo(float* left, float* right, uint32_t count) noexcept;
    void completeBin(float strength, float target) noexcept;

    QRLevelerState state_;
};

}  // namespace quorel
