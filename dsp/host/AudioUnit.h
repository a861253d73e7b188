#pragma once

#include "AudioBufferList.h"
#include "AudioComponentDescription.h"
#include "AudioUnitBus.h"
#include "AudioUnitStatus.h"
#include "ParameterInfo.h"
#include "RenderTypes.h"
#include "UnitError.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorel {

// Base of every effect unit the host runs: one input and one output bus, render resources that
// are allocated before rendering and freed after it, a render entry for the real-time thread
// that pulls the unit's input, and a table of parameters with their ranges.
//
// Life cycle: construct (buses at 48000 Hz stereo, maximumFramesToRender 4096) -> set bus
// formats and the frame limit -> allocateRenderResources() -> render() any number of times on
// the real-time thread, reset() between runs -> deallocateRenderResources(). Everything except
// render() runs on one control thread.
//
// A subclass overrides allocateRenderResources() and deallocateRenderResources() (calling the
// base versions), reset(), latency() and internalRender(). internalRender() must not lock,
// allocate, throw or log.
class AudioUnit {
public:
    virtual ~AudioUnit();
    AudioUnit(const AudioUnit&) = delete;
    AudioUnit& operator=(const AudioUnit&) = delete;

    const AudioComponentDescription& componentDescription() const { return description_; }

    AudioUnitBus& inputBus() { return inputBus_; }
    const AudioUnitBus& inputBus() const { return inputBus_; }
    AudioUnitBus& outputBus() { return outputBus_; }
    const AudioUnitBus& outputBus() const { return outputBus_; }

    uint32_t maximumFramesToRender() const { return maximumFramesToRender_; }
    // -10849 while allocated, -50 for 0 frames.
    Status setMaximumFramesToRender(uint32_t frames);

    // Supported (input, output) channel-count pairs, flattened; empty means any.
    virtual std::span<const int32_t> channelCapabilities() const { return {}; }

    // Processing delay in seconds.
    virtual double latency() const { return 0; }

    // Checks that both buses carry channels at a positive rate that the channel capabilities
    // allow and marks the resources allocated; subclasses allocate their buffers after it.
    // Allocating again first deallocates.
    virtual UnitError allocateRenderResources();
    virtual void deallocateRenderResources();
    bool renderResourcesAllocated() const { return allocated_; }

    // Brings the signal state to rest; parameters stay.
    virtual void reset() {}

    // Real-time entry: renders `frameCount` frames into `outputData`, pulling the input through
    // `pullInput`. -10867 before allocation; otherwise the unit's own status.
    Status render(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp, uint32_t frameCount,
                  int64_t outputBusNumber, AudioBufferList& outputData, PullInput pullInput) noexcept;

    // Parameter table. Unknown ids answer -10878.
    std::span<const ParameterInfo> parameters() const { return parameters_; }
    Status parameterInfo(uint32_t id, ParameterInfo& info) const;
    // Stores the value clamped to the parameter's range and hands it to the unit, which
    // publishes its parameters to the render thread (control thread; safe while rendering).
    Status setParameter(uint32_t id, float value);
    Status parameter(uint32_t id, float& value) const;

    // Holds the unit's parameter changes back while it lives: they reach the render thread
    // together, as one block (control thread; scopes nest).
    class ParameterUpdate {
    public:
        explicit ParameterUpdate(AudioUnit& unit) : unit_(unit) { unit_.holdParameters(); }
        ~ParameterUpdate() { unit_.releaseParameters(); }
        ParameterUpdate(const ParameterUpdate&) = delete;
        ParameterUpdate& operator=(const ParameterUpdate&) = delete;

    private:
        AudioUnit& unit_;
    };

protected:
    explicit AudioUnit(const AudioComponentDescription& description);

    virtual Status internalRender(RenderActionFlags& actionFlags, const AudioTimeStamp& timestamp, uint32_t frameCount,
                                  int64_t outputBusNumber, AudioBufferList& outputData,
                                  const PullInput& pullInput) noexcept = 0;

    // Defines the parameter table (construction time only); values start at their defaults.
    void defineParameters(std::vector<ParameterInfo> parameters);
    // Called on the control thread after a parameter changed, with the stored value.
    virtual void parameterChanged(uint32_t /*id*/, float /*value*/) {}
    // A unit whose parameters reach the render thread as one block holds and releases its
    // publishing (see ParameterUpdate).
    virtual void holdParameters() {}
    virtual void releaseParameters() {}

private:
    const ParameterInfo* findParameter(uint32_t id, size_t& index) const;

    AudioComponentDescription description_;
    AudioUnitBus inputBus_;
    AudioUnitBus outputBus_;
    uint32_t maximumFramesToRender_ = 4096;
    bool allocated_ = false;
    std::vector<ParameterInfo> parameters_;
    std::vector<float> values_;  // control thread
};

}  // namespace quorel
