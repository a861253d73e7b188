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
    // What the gain of a frame is computed from.
    struct Gain {
        CompressorCurve curve;
        float makeupDB = 0;
        bool operator==(const Gain& other) const;
    };
    static Gain gainOf(const Settings& settings);
    // Render thread: the gains of `count` frames of `levels` (dB), faded from the previous
    // settings' gains while a fade runs.
    void gains(const Gain& gain, const float* levels, float* gains, uint32_t count);

    PublishedParameters<Settings, parameterCount> settings_{range, derive};
    RmsDetector detector_;  // render thread
    // Render thread: a change of the settings is heard as a fade of the gain over 10 ms, from
    // what the settings before it give to what the new ones give, never as a step.
    Gain applied_;
    Gain fadingFrom_;
    bool hasApplied_ = false;  // false after a reset: the next settings apply at once
    uint32_t fadeFrames_ = 480;
    uint32_t fadeRemaining_ = 0;
};

}  // namespace quorel
