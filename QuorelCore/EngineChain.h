#pragma once

#include "AudioBufferList.h"
#include "AudioUnitStatus.h"
#include "DSPSettings.h"
#include "MeterReading.h"
#include "SpectrumReading.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorel {

// The processing side of SystemBoostEngine: the chain that pulls the captured frames through
// its real-time input block and renders them processed, in stereo.
class EngineChain {
public:
    // Hands out the next `frames` captured frames of the current cycle, or null.
    using InputBlock = std::function<const AudioBufferList*(uint32_t frames)>;

    virtual ~EngineChain() = default;

    virtual void apply(const DSPSettings& settings) = 0;  // throws
    // The A/B stages: the unprocessed path's gain and the processed path's gain (linear).
    virtual void setPathGains(float dry, float wet) = 0;
    virtual void prepare() = 0;  // throws
    virtual void start() = 0;    // throws
    virtual void stop() = 0;
    // Real-time thread: renders `frames` processed frames into `output` (two mono buffers),
    // touching only what was allocated and touched before the first cycle: no lock, allocation,
    // exception, logging or Qt. Parameters come in as each unit's newest PublishedBlock;
    // readings, peaks and counters go out through atomics and single-writer exchanges.
    virtual Status render(uint32_t frames, AudioBufferList& output) = 0;
    // Real-time thread, between two renders: the sound stopped for a while (nothing played) and
    // starts again; signal memory comes to rest, so nothing of the earlier sound is heard.
    virtual void restart() noexcept {}

    virtual MeterReading meter() = 0;
    virtual SpectrumReading spectrum() = 0;
    // Whether anyone reads spectrum(); a chain may skip its analysis while nobody does.
    virtual void setSpectrumWanted(bool wanted) { (void)wanted; }
    virtual double reportedLatency() const = 0;  // seconds

    // Builds a chain for a source of `channels` (1 or 2) at `sampleRate`; throws on failure.
    using Factory = std::function<std::unique_ptr<EngineChain>(uint32_t channels, double sampleRate, InputBlock input)>;
};

}  // namespace quorel
