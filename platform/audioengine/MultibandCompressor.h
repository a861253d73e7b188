#pragma once

#include "BiquadFilter.h"
#include "CompressorCurve.h"
#include "RmsDetector.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace quorel {

// The signal processing of our multiband compressor: three Linkwitz-Riley (4th-order)
// crossovers split the signal into four bands whose sum is flat (an all-pass); each band has
// its own RMS detector, soft-knee curve and gain. No look-ahead, so no latency.
class MultibandCompressor {
public:
    enum Parameter : uint32_t {
        preGain = 0,
        postGain = 1,
        crossover1 = 2,
        crossover2 = 3,
        crossover3 = 4,
        threshold1 = 5,  // ... threshold4 = 8
        headroom1 = 9,   // ... headroom4 = 12
        attackTime = 13,
        releaseTime = 14,
        bandGain1 = 15,  // ... bandGain4 = 18
    };
    struct Range {
        float minimum, maximum, initial;
    };
    static constexpr uint32_t parameterCount = 19;
    static constexpr uint32_t bandCount = 4;
    static Range range(uint32_t id);

    MultibandCompressor();

    bool setParameter(uint32_t id, float value);
    float parameter(uint32_t id) const;

    // Owner's thread, while not rendering: buffers for blocks of up to maximumFrames.
    void prepare(double sampleRate, uint32_t maximumFrames);
    void reset();
    // Render thread; frames must not exceed the prepared maximum.
    void process(float* const* channels, uint32_t channelCount, uint32_t frames);

private:
    struct Split {
        BiquadFilter low[2], high[2];
    };
    void design(const float crossovers[3]);

    std::atomic<float> values_[parameterCount];
    double sampleRate_ = 48000;
    uint32_t capacity_ = 0;
    float designed_[3] = {-1, -1, -1};
    float attack_ = -1, release_ = -1;
    Split splits_[3];
    BiquadFilter allPass2_, allPass3_, allPass3b_;
    RmsDetector detectors_[bandCount];
    std::vector<float> bands_;  // bandCount x 2 channels x capacity
};

}  // namespace quorel
