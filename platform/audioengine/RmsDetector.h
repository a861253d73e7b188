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

    // Feeds the squared sample; returns nothing (for stages that only need to keep up).
    void follow(float square) { meanSquare_ += window_ * (square - meanSquare_); }

    // Feeds the squared sample and returns the smoothed level in dB.
    float next(float square)
    {
        follow(square);
        const float level = meanSquare_ > 1e-12f ? 10 * std::log10(meanSquare_) : floorDB;
        levelDB_ += (level > levelDB_ ? attack_ : release_) * (level - levelDB_);
        return levelDB_;
    }
    // next() for a block: turns `count` squared samples into smoothed levels in dB, in place.
    // The logarithms are taken four at a time (also the last few, padded), so the levels do not
    // depend on how a signal is cut into blocks; they stay within 1e-5 dB of next()'s.
    void levels(float* values, uint32_t count)
    {
        // Locals, so the recurrences stay in registers (`values` could alias the members).
        float meanSquare = meanSquare_;
        const float window = window_;
        for (uint32_t i = 0; i < count; ++i) {
            meanSquare += window * (values[i] - meanSquare);
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
        float levelDB = levelDB_;
        const float attack = attack_, release = release_;
        for (uint32_t i = 0; i < count; ++i) {
            const float level = values[i];
            levelDB += (level > levelDB ? attack : release) * (level - levelDB);
            values[i] = levelDB;
        }
        levelDB_ = levelDB;
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
