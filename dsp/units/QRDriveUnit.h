#pragma once

#include "EffectUnit.h"
#include "QRDriveState.h"
#include "QRRegistration.h"

namespace quorel {

// "Drive": up to 6 dB of gain into a soft clipper with a tanh knee that keeps the result below a
// linear ceiling, oversampled 4x below 64 kHz and 2x below 128 kHz so the harmonics it creates
// do not fold back into the audible band. Reports its activity: the largest driven magnitude,
// which exceeds the knee exactly when peaks are being shaped.
class QRDriveUnit : public EffectUnit {
public:
    static constexpr FourCharCode subtype = fourCharCode("qrdr");
    static constexpr const char* registeredName = "Quorel: Drive";

    explicit QRDriveUnit(const AudioComponentDescription& description = effectDescription(subtype));

    // 4 below 64000 Hz, 2 below 128000 Hz, else 1.
    static uint32_t factorForSampleRate(double sampleRate);

    // The two filters' group delays, (128 / factor) / rate; 0 without oversampling or rate.
    double latency() const override;

    // A finite amount is clamped to 0...1, a finite ceiling to 0.1...1; a value that is not
    // finite leaves its parameter unchanged.
    void configureAmount(float amount, float ceiling);
    // The largest driven magnitude since the previous read; puts 0 back.
    float readActivity();

    const QRDriveState& state() const { return state_; }

protected:
    bool allocateState(double sampleRate) override;
    void releaseState() override;
    void resetState() override;
    float process(float* const* data, uint32_t frames) noexcept override;

private:
    // The next step of a running change of the parameters.
    void stepTowardParameters() noexcept;
    // Shapes `frames` frames from `offset` with the curve in use.
    void processPiece(float* const* data, uint32_t offset, uint32_t frames, float& activity, float& peak) noexcept;

    QRDriveState state_;
};

}  // namespace quorel
