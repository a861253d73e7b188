#pragma once

#include "CompressorCurve.h"
#include "PublishedParameters.h"
#include "RmsDetector.h"

#include <cstdint>

namespace quorel {

// The signal processing of our single-band dynamics processor: a stereo-linked feed-forward
// RMS detector, the soft-knee curve and an overall gain. No look-ahead, so no latency. The
// owner's thread publishes the parameters whole with the detector's coefficients and the linear
// overall gain derived from them.
class DynamicsProcessor {
public:
    // Parameter ids and ranges as the graph writes them (dB, seconds).
    enum Parameter : uint32_t {
        threshold = 0,
        headroom = 1,
        expansionRatio = 2,
        expansionThreshold = 3,
        attackTime = 4,
        releaseTime = 5,
        overallGain = 6,
    };
    using Range = ParameterRange;
    static constexpr uint32_t parameterCount = 7;
    static Range range(uint32_t id);

    DynamicsProcessor();

    // Owner's thread: the value is clamped into the range; not finite is ignored.
    // Returns false for an unknown id.
    bool setParameter(uint32_t id, float value) { return settings_.set(id, value); }
    float parameter(uint32_t id) const { return settings_.get(id); }
    // Owner's thread: changes made between beginUpdate() and the matching endUpdate() reach the
    // render thread together (updates nest).
    void beginUpdate() { settings_.hold(); }
    void endUpdate() { settings_.release(); }

    // Owner's thread, while not rendering.
    void prepare(double sampleRate);
    void reset();
    void process(float* const* channels, uint32_t channelCount, uint32_t frames);

private:
    struct Settings {
        float values[parameterCount];
        RmsDetector::Coefficients detector;
        float makeupGain;  // 10^(overall gain / 20)
    };
    // Owner's thread: the detector's coefficients and the linear gain.
    static void derive(Settings& settings, double sampleRate);

    PublishedParameters<Settings, parameterCount> settings_{range, derive};
    RmsDetector detector_;  // render thread
};

}  // namespace quorel
