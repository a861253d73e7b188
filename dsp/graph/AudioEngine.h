#pragma once

#include "AudioFormat.h"
#include "AudioNode.h"
#include "InputNode.h"
#include "ManualRendering.h"
#include "MixerNode.h"
#include "OutputNode.h"
#include "UnitError.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace quorel {

class PCMBuffer;

// The pull graph, rendered manually: attached nodes, connections between their buses, an input
// node, a main mixer and an output node. The owner pulls rendered audio with renderOffline()
// or, on a real-time thread, with renderRealtime().
//
// Control thread: attach, connect, enableManualRenderingMode, prepare, start, stop, reset.
// Render thread: renderRealtime() (offline rendering runs on the control thread). Rendering
// allocates nothing, takes no lock and throws nothing.
class AudioEngine {
public:
    struct ConnectionPoint {
        AudioNode* node;
        uint32_t bus;
    };

    AudioEngine();
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    InputNode& inputNode() { return input_; }
    MixerNode& mainMixerNode() { return mainMixer_; }
    OutputNode& outputNode() { return output_; }

    // The node stays owned by the caller and must outlive the engine's use of it.
    void attach(AudioNode& node);
    bool isAttached(const AudioNode& node) const;

    // Connects an output to one input bus (replacing what was connected there). Both nodes
    // must be attached; false otherwise.
    bool connect(AudioNode& from, AudioNode& to, uint32_t fromBus, uint32_t toBus, const AudioFormat& format);
    bool connect(AudioNode& from, AudioNode& to, const AudioFormat& format) { return connect(from, to, 0, 0, format); }
    // One output to several input buses at once.
    bool connect(AudioNode& from, const std::vector<ConnectionPoint>& points, uint32_t fromBus,
                 const AudioFormat& format);

    // 0, or -10868 for a format that is not deinterleaved 32-bit float with 1 or 2 channels at
    // a positive rate, -50 for 0 frames, -10849 while running.
    Status enableManualRenderingMode(ManualRenderingMode mode, const AudioFormat& format, uint32_t maximumFrameCount);
    bool isInManualRenderingMode() const { return manual_; }
    ManualRenderingMode manualRenderingMode() const { return mode_; }
    const AudioFormat& manualRenderingFormat() const { return format_; }
    uint32_t manualRenderingMaximumFrameCount() const { return maximumFrames_; }

    // Allocates every node reachable from the output for the connection formats.
    UnitError prepare();
    bool isPrepared() const { return prepared_.load(); }
    // Prepares when needed and starts; rendering is refused until then.
    UnitError start();
    bool isRunning() const { return running_.load(); }
    // Stops rendering and returns only once no render call is running any more, so the
    // caller may then reset or release what the render thread uses. Keeps the resources.
    void stop();
    // Brings every node's signal state to rest and the timeline to 0.
    void reset();

    // Offline mode: renders `frames` into `buffer` (its format's channel count must match the
    // rendering format); sets the buffer's frame length. `error` gets a status on failure.
    ManualRenderingStatus renderOffline(uint32_t frames, PCMBuffer& buffer, Status& error);

    // Real-time mode: renders `frames` into `output` (one buffer per channel of the rendering
    // format, each at least frames long). Never allocates or blocks.
    ManualRenderingStatus renderRealtime(uint32_t frames, AudioBufferList& output, Status* error) noexcept;

private:
    ManualRenderingStatus renderCycle(uint32_t frames, AudioBufferList& output, Status* error) noexcept;
    void collect(AudioNode& node, std::vector<AudioNode*>& order) const;
    void deallocateAll();

    InputNode input_;
    MixerNode mainMixer_;
    OutputNode output_;
    std::vector<AudioNode*> nodes_;
    std::vector<AudioNode*> allocated_;
    bool manual_ = false;
    ManualRenderingMode mode_ = ManualRenderingMode::offline;
    AudioFormat format_{};
    uint32_t maximumFrames_ = 4096;
    std::atomic<bool> prepared_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> rendersInFlight_{0};
    uint64_t cycle_ = 0;
    double sampleTime_ = 0;
};

}  // namespace quorel
