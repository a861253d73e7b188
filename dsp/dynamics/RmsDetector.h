#pragma once

#include "VectorMath.h"

#include <cmath>
#include <cstdint>

namespace quorel {

// Feed-forward RMS detector: the squared input averaged over a fixed 20 ms window gives the
// RMS level in dB, which then rises with the attack time and falls with the release time.
class RmsDetector {
public:
    static constexpr double windowSeconds = 0.02;
    static constexpr float floorDB = -120;

    // The smoothing coefficients of a rate and two times, derived on the owner's thread.
    struct Coefficients {
        float window = 1, attack = 1, release = 1;
    };
    static Coefficients coefficients(double sampleRate, double attackSeconds, double releaseSeconds)
    {
        return {coefficient(sampleRate, windowSeconds), coefficient(sampleRate, attackSeconds),
                coefficient(sampleRate, releaseSeconds)};
    }
    void configure(const Coefficients& c)
    {
        // In double precision 1 - c is exact for every coefficient in single precision.
        window_ = c.window, keepWindow_ = 1 - window_;
        attack_ = c.attack, keepAttack_ = 1 - attack_;
        release_ = c.release, keepRelease_ = 1 - release_;
    }
    void configure(double sampleRate, double attackSeconds, double releaseSeconds)
    {
        configure(coefficients(sampleRate, attackSeconds, releaseSeconds));
    }
    void reset()
    {
        meanSquare_ = 0;
        levelDB_ = floorDB;
    }

    // Both recurrences v += c (x - v) are worked in double precision as (1 - c) v + c x, with
    // 1 - c exact: the product c x runs beside the recurrence, so a sample's path is one
    // multiply-add.

    // Feeds the squared sample; returns nothing (for stages that only need to keep up).
    void follow(float square) { meanSquare_ = keepWindow_ * meanSquare_ + window_ * double(square); }

    // follow() for a block of squared samples, four at a time: lane j keeps the samples 4m + j,
    // each sum decaying by (1 - c)^4 per group, and the lanes are weighted and added at the end
    // (the same sums in another order: within a few parts in a million of follow()'s).
    void followBlock(const float* squares, uint32_t count)
    {
        using namespace vectormath;
        const uint32_t whole = count - count % 4;
        if (whole > 0) {
            const float window = float(window_);
            const float keep = 1 - window;
            const float keep2 = keep * keep;
            const float keep4 = keep2 * keep2;
            Float4 sums{};
            double decay = 1;  // (1 - c)^(4 groups)
            for (uint32_t i = 0; i < whole; i += 4) {
                sums = sums * keep4 + load(squares + i);
                decay *= keep4;
            }
            const Float4 weights = Float4{keep2 * keep, keep2, keep, 1} * window;
            const Float4 weighted = sums * weights;
            meanSquare_ = meanSquare_ * decay + double((weighted[0] + weighted[1]) + (weighted[2] + weighted[3]));
        }
        for (uint32_t i = whole; i < count; ++i) follow(squares[i]);
    }

    // Feeds the squared sample and returns the smoothed level in dB.
    float next(float square)
    {
        follow(square);
        const double level = meanSquare_ > 1e-12 ? double(10 * std::log10(float(meanSquare_))) : floorDB;
        levelDB_ =
            level > levelDB_ ? keepAttack_ * levelDB_ + attack_ * level : keepRelease_ * levelDB_ + release_ * level;
        return float(levelDB_);
    }
    // next() for a block: turns `count` squared samples into smoothed levels in dB, in place.
    // The logarithms are taken four at a time (also the last few, padded) and every sample goes
    // through the same recurrences, so the levels do not depend on how a signal is cut into
    // blocks; they stay within 1e-5 dB of next()'s. Where the processor has fused multiply-adds
    // the recurrences use them.
    void levels(float* values, uint32_t count);

    // Called after each block: denormal or non-finite memories come to rest.
    void flush()
    {
        if (!(std::isfinite(meanSquare_) && meanSquare_ >= 1e-30)) meanSquare_ = 0;
        if (!std::isfinite(levelDB_)) levelDB_ = floorDB;
    }
    // Keeps the smoothed level in step with the window while the curve is neutral.
    void settle() { levelDB_ = meanSquare_ > 1e-12 ? double(10 * std::log10(float(meanSquare_))) : floorDB; }

private:
    friend struct RmsDetectorKernel;

    static float coefficient(double sampleRate, double seconds)
    {
        if (!(sampleRate > 0) || !(seconds > 0)) return 1;
        return float(1 - std::exp(-1 / (seconds * sampleRate)));
    }

    double window_ = 1, keepWindow_ = 0;
    double attack_ = 1, keepAttack_ = 0;
    double release_ = 1, keepRelease_ = 0;
    double meanSquare_ = 0;
    double levelDB_ = floorDB;
};

}  // namespace quorel
