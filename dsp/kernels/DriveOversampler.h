#pragma once

#include "DriveCurve.h"
#include "OversamplingFilter.h"
#include "RenderBuffer.h"

#include <array>
#include <cstdint>

namespace quorel {

// Oversampled shaping of one channel: zero-stuffing interpolation by the factor, the drive curve
// at the high rate, low-pass and decimation back, each with the 129-tap oversampling filter.
// Worked in polyphase form: the interpolation computes each of the `factor` output phases from
// the input directly (the zero-stuffed samples contribute nothing), the shaping runs on the phase
// blocks, and the decimation filter sums the phases, so only every factor-th filter output is
// computed. The sums are those of the zero-stuffed convolution; the latency is the two filters'
// group delays, 128 / factor frames. Every factor-th tap of the filter (all but the centre one
// of phase 0) lies on a zero of the sinc and is numerically nil (about 1e-17); those phases
// are worked as the single tap they are. Factor 1 shapes the samples directly (no filters, no
// latency).
//
// At amount 0 the signal still passes both filters (band-limited and delayed by the latency, at
// unity gain); only the shaping is left out.
class DriveOversampler {
public:
    // Sets up the filter for `factor` (1, 2 or 4) and allocates the channel's buffers for blocks
    // of up to `capacity` frames, zero-filled. False when memory runs out. Not for the real-time
    // thread.
    bool allocate(uint32_t factor, uint32_t capacity);
    void release();

    // Clears the filter histories.
    void reset() noexcept;

    struct Result {
        float activity = 0;  // largest driven magnitude (0 when the curve's amount is 0)
        float peak = 0;      // largest output magnitude
    };

    // Processes `frames` (<= capacity) samples in place; not-finite input samples count as 0.
    Result process(float* samples, uint32_t frames, const DriveCurve& curve) noexcept;

    uint32_t factor() const { return factor_; }
    uint32_t latencyFrames() const { return factor_ > 1 ? (OversamplingFilter::taps - 1) / factor_ : 0; }
    const float* coefficients() const { return coefficients_.data(); }
    bool allocated() const { return allocated_; }

private:
    static constexpr uint32_t maximumFactor = 4;
    // Longer calls are worked in pieces of this many frames, so the blocks stay in the cache.
    static constexpr uint32_t blockFrames = 256;
    static constexpr uint32_t maximumPhaseTaps = (OversamplingFilter::taps - 1) / 2 + 1;

    struct Phase {
        uint32_t count = 0;                                   // taps of this phase
        uint32_t first = 0, used = 0;                         // the taps that are not zero
        std::array<float, maximumPhaseTaps> interpolation{};  // factor * h[phase + j * factor]
        std::array<float, maximumPhaseTaps> decimation{};     // h[phase + j * factor]
    };

    float processBlocks(float* samples, uint32_t frames, const DriveCurve& curve) noexcept;
    float processBlock(float* samples, uint32_t frames, const DriveCurve& curve) noexcept;
    float* input() { return buffer_.data(); }
    float* phaseBlock(uint32_t phase) { return buffer_.data() + (phase + 1) * stride_; }

    uint32_t factor_ = 1;
    uint32_t history_ = 0;  // samples kept in front of each block: 128 / factor
    uint32_t stride_ = 0;   // history_ + min(capacity, blockFrames)
    std::array<float, OversamplingFilter::taps> coefficients_{};
    std::array<Phase, maximumFactor> phases_{};
    // The input block, then one block per phase of the oversampled signal, each with its history
    // in front.
    SampleBuffer buffer_;
    bool allocated_ = false;
};

}  // namespace quorel
