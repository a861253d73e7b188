#pragma once

#include "PublishedBlock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorel {

// A parameter's range as the graph writes it.
struct ParameterRange {
    float minimum, maximum, initial;
};

// The parameter plumbing of a processor whose parameters are a row of floats: `Settings` holds
// them as `float values[Count]` beside what the processor derives from them (coefficients,
// linear gains) for the sample rate. The owner's thread sets a value (clamped into its range),
// derives and publishes the whole record; the render thread takes the newest once per block.
template <typename Settings, uint32_t Count>
class PublishedParameters {
public:
    using Range = ParameterRange (*)(uint32_t id);
    // Fills in what derives from the values, for the sample rate (owner's thread).
    using Derive = void (*)(Settings& settings, double sampleRate);

    // Publishes every value at its initial one.
    PublishedParameters(Range range, Derive derive) : range_(range), derive_(derive)
    {
        Settings initial{};
        for (uint32_t id = 0; id < Count; ++id) initial.values[id] = range_(id).initial;
        publish(initial);
    }

    // Owner's thread: the value is clamped into the range; not finite is ignored.
    // Returns false for an unknown id.
    bool set(uint32_t id, float value)
    {
        if (id >= Count) return false;
        if (!std::isfinite(value)) return true;
        const ParameterRange r = range_(id);
        Settings next = block_.latest();
        next.values[id] = std::clamp(value, r.minimum, r.maximum);
        publish(next);
        return true;
    }
    float get(uint32_t id) const { return id < Count ? block_.latest().values[id] : 0; }
    // Owner's thread: changes made between hold() and the matching release() reach the render
    // thread together (holds nest).
    void hold() { block_.hold(); }
    void release() { block_.release(); }
    // Owner's thread, while not rendering: derives everything again for a new rate.
    void setSampleRate(double sampleRate)
    {
        sampleRate_ = sampleRate;
        publish(block_.latest());
    }
    double sampleRate() const { return sampleRate_; }

    // Render thread: takes the newest record if one was published since the last call; true
    // when it did.
    bool acquire() noexcept { return block_.acquire(); }
    const Settings& current() const noexcept { return block_.current(); }

private:
    void publish(Settings next)
    {
        derive_(next, sampleRate_);
        block_.publish(next);
    }

    const Range range_;
    const Derive derive_;
    double sampleRate_ = 48000;  // owner's thread
    PublishedBlock<Settings> block_;
};

}  // namespace quorel
