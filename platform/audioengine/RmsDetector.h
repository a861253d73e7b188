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
        window_ = c.window;
        attack_ = c.attack;
        release_ = c.release;
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

    // Both recurrences v += c (x - v) are worked as (v + c x) - c v: the products run beside
    // the first sum, so a sample's path is one step shorter; the two differ by rounding only
    // (v (1 - c) + c x would be as short, but rounding 1 - c skews a small c's time constant).

    // Feeds the squared sample; returns nothing (for stages that only need to keep up).
    void follow(float square) { meanSquare_ = (meanSquare_ + window_ * square) - window_ * meanSquare_; }

    // follow() for a block of squared samples, four at a time: lane j keeps the samples 4m + j,
    // each sum decaying by (1 - c)^4 per group, and the lanes are weighted and added at the end
    // (the same sums in another order: within a few parts in a million of follow()'s).
    void followBlock(const float* squares, uint32_t count)
    {
        using namespace vectormath;
        const uint32_t whole = count - count % 4;
        if (whole > 0) {
            const float keep = 1 - window_;
            const float keep2 = keep * keep;
            const float keep4 = keep2 * keep2;
            Float4 sums{};
            float decay = 1;  // (1 - c)^(4 groups)
            for (uint32_t i = 0; i < whole; i += 4) {
                sums = sums * keep4 + load(squares + i);
                decay *= keep4;
            }
            const Float4 weights = Float4{keep2 * keep, keep2, keep, 1} * window_;
            const Float4 weighted = sums * weights;
            meanSquare_ = meanSquare_ * decay + ((weighted[0] + weighted[1]) + (weighted[2] + weighted[3]));
        }
        for (uint32_t i = whole; i < count; ++i) follow(squares[i]);
    }

    // Feeds the squared sample and returns the smoothed level in dB.
    float next(float square)
    {
        follow(square);
        const float level = meanSquare_ > 1e-12f ? 10 * std::log10(meanSquare_) : floorDB;
        const float c = level > levelDB_ ? attack_ : release_;
        levelDB_ = (levelDB_ + c * level) - c * levelDB_;
        return levelDB_;
    }
    // next() for a block: turns `count` squared samples into smoothed levels in dB, in place.
    // The logarithms are taken four at a time (also the last few, padded), so the levels do not
    // depend on how a signal is cut into blocks; they stay within 1e-5 dB of next()'s.
    // In groups of 32 samples, so the processor overlaps one group's mean squares with the
    // levels of the group before.
    void levels(float* values, uint32_t count)
    {
        for (uint32_t start = 0; start < count; start += 32)
            levelsOfGroup(values + start, std::min(32u, count - start));
    }

    // Called after each block: denormal or non-finite memories come to rest.
    void flush()
    {
        if (!(std::isfinite(meanSquare_) && meanSquare_ >= 1e-30f)) meanSquare_ = 0;
        if (!std::isfinite(levelDB_)) levelDB_ = floorDB;
    }
    // Keeps the smoothed level in step with the window while the curve is neutral.
    void settle() { levelDB_ = meanSquare_ > 1e-12f ? 10 * std::log10(meanSquare_) : floorDB; }

private:
    [[gnu::always_inline]] void levelsOfGroup(float* values, uint32_t count)
    {
        // Locals, so the recurrences stay in registers (`values` could alias the members).
        float meanSquare = meanSquare_;
        const float window = window_;
        for (uint32_t i = 0; i < count; ++i) {
            meanSquare = (meanSquare + window * values[i]) - window * meanSquare;
            values[i] = meanSquare;
        }
        meanSquare_ = meanSquare;
        using namespace vectormath;
        auto decibels = [](Float4 squares) {
            const Float4 level = log2(maximum(squares, splat(1e-12f))) * 3.01029996f;
            return squares > 1e-12f ? level : splat(floorDB);
        };
        const uint32_t whole = count - count % 4;
        for (uint32_t i = 0; i < whole; i += 4) store(values + i, decibels(load(values + i)));
        if (whole < count) {
            float lanes[4] = {1, 1, 1, 1};
            for (uint32_t i = whole; i < count; ++i) lanes[i - whole] = values[i];
            store(lanes, decibels(load(lanes)));
            for (uint32_t i = whole; i < count; ++i) values[i] = lanes[i - whole];
        }
        // Both candidates side by side and a select on vector lanes (lane 0), so the compare
        // runs beside the multiplications instead of before them, and no branch is taken.
        Float4 levelDB = splat(levelDB_);
        const Float4 attack = splat(attack_), release = splat(release_);
        for (uint32_t i = 0; i < count; ++i) {
            const Float4 level = splat(values[i]);
            const Float4 rising = (levelDB + attack * level) - attack * levelDB;
            const Float4 falling = (levelDB + release * level) - release * levelDB;
            levelDB = level > levelDB ? rising : falling;
            values[i] = levelDB[0];
        }
        levelDB_ = levelDB[0];
    }

    static float coefficient(double sampleRate, double seconds)
    {
        if (!(sampleRate > 0) || !(seconds > 0)) return 1;
        return float(1 - std::exp(-1 / (seconds * sampleRate)));
    }

    float window_ = 1;
    float attack_ = 1;
    float release_ = 1;
    float meanSquare_ = 0;
    float levelDB_ = floorDB;
};

}  // namespace quorel
