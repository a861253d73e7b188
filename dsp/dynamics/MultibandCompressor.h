#pragma once

#include "BiquadFilter.h"
#include "CompressorCurve.h"
#include "PublishedParameters.h"
#include "RmsDetector.h"

#include <cstdint>
#include <vector>

namespace quorel {

// The signal processing of our multiband compressor: three Linkwitz-Riley (4th-order)
// crossovers split the signal into four bands whose sum is flat (an all-pass); each band has
// its own RMS detector, soft-knee curve and gain. No look-ahead, so no latency. The owner's
// thread publishes the parameters whole with what derives from them: the crossover filters, the
// detectors' coefficients and the linear gains.
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
    using Range = ParameterRange;
    static constexpr uint32_t parameterCount = 19;
    static constexpr uint32_t bandCount = 4;
    static Range range(uint32_t id);

    MultibandCompressor();

    // Owner's thread: the value is clamped into the range; not finite is ignored.
    // Returns false for an unknown id.
    bool setParameter(uint32_t id, float value) { return settings_.set(id, value); }
    float parameter(uint32_t id) const { return settings_.get(id); }
    // Owner's thread: changes made between beginUpdate() and the matching endUpdate() reach the
    // render thread together (updates nest).
    void beginUpdate() { settings_.hold(); }
    void endUpdate() { settings_.release(); }

    // Owner's thread, while not rendering: buffers for blocks of up to maximumFrames.
    void prepare(double sampleRate, uint32_t maximumFrames);
    void reset();
    // Render thread; frames must not exceed the prepared maximum.
    void process(float* const* channels, uint32_t channelCount, uint32_t frames);

private:
    struct Split {
        BiquadFilter low[2], high[2];
    };
    struct Settings {
        float values[parameterCount];
        // Crossovers ascending and below the Nyquist frequency: their Linkwitz-Riley halves and
        // the all-passes that keep the lower bands in phase.
        BiquadCoefficients lowPass[3], highPass[3], allPass2, allPass3;
        RmsDetector::Coefficients detector;
        float preGain, postGain;     // linear
        float bandGains[bandCount];  // linear
    };
    // Owner's thread: the crossover filters, the detectors' coefficients and the linear gains.
    static void derive(Settings& settings, double sampleRate);
    // Render thread: takes a new design into the filters and detectors.
    void configure(const Settings& settings);

    PublishedParameters<Settings, parameterCount> settings_{range, derive};
    uint32_t capacity_ = 0;
    Split splits_[3];
    BiquadFilter allPass2_, allPass3_, allPass3b_;
    RmsDetector detectors_[bandCount];
    std::vector<float> bands_;  // bandCount x 2 channels x capacity
};

}  // namespace quorel
