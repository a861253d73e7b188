#pragma once

#include "AudioBufferList.h"
#include "AudioUnitStatus.h"
#include "CycleSignal.h"
#include "QRAudioDevice.h"
#include "QRSystemIOStats.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorel {

// Drives one duplex audio device from its real-time input/output procedure: copies the captured
// input into its own per-channel buffers, hands them to the processing engine through `input`,
// asks the render block for as many processed frames, and writes them to the device output. It
// sanitizes samples, maps the rendered stereo onto the device's output channels, plays silence
// on every failure and keeps lock-free counters and peaks.
class QRSystemIO {
public:
    // The engine's real-time render: fills `output` (one mono buffer per rendered channel) with
    // `frames` processed frames; 0 means success.
    // `restart`, when given, runs before the render of a cycle the device marks as resumed: it
    // brings the engine's signal memory to rest (real-time thread, never blocks or allocates).
    struct RenderBlock {
        Status (*function)(void* context, uint32_t frames, AudioBufferList& output) = nullptr;
        void* context = nullptr;
        void (*restart)(void* context) = nullptr;
    };

    // The processing engine always renders stereo, whatever the capture's channel count.
    static constexpr uint32_t renderChannels = 2;

    // Null when `channels` is not 1 or 2 or `maximumFrames` not within 1...65536. The output
    // channel count is taken as given.
    static std::unique_ptr<QRSystemIO> create(uint32_t channels, uint32_t outputChannels, uint32_t maximumFrames);
    ~QRSystemIO();
    QRSystemIO(const QRSystemIO&) = delete;
    QRSystemIO& operator=(const QRSystemIO&) = delete;

    // The input block: the next `frames` captured frames of this cycle (one mono buffer per
    // channel), or null when the cycle has no more. Real-time thread, inside the render block.
    const AudioBufferList* input(uint32_t frames);

    RenderBlock renderBlock() const { return renderBlock_; }
    // A running callback keeps the render block it was started with.
    void setRenderBlock(RenderBlock block) { renderBlock_ = block; }

    // Starts the callback on the device; harmless when already running. On failure `error`
    // holds the device's status (-10867 without a render block, 'what' when the device gave
    // no procedure id).
    bool start(QRAudioDevice& device, Status& error);
    void stop();
    bool isRunning() const { return procID_ != 0; }

    QRSystemIOStats stats() const;
    // Told by the first cycle after it is armed: how a waiting main thread learns that sound
    // came back without asking.
    CycleSignal& cycleSignal() { return cycleSignal_; }

private:
    struct Callback;
    QRSystemIO(uint32_t channels, uint32_t outputChannels, uint32_t maximumFrames);
    // The body of the device's input/output procedure (real-time thread).
    void cycle(const RenderBlock& render, const AudioBufferList* input, AudioBufferList* output, bool resumed);
    // Its steps: the capture copied in, the render, the rendered stereo played on the device.
    void capture(const AudioBufferList* input, uint32_t frames);
    bool renderCycle(const RenderBlock& render, AudioBufferList& output, uint32_t frames, bool direct);
    void play(const float* left, const float* right, AudioBufferList& output, uint32_t frames);

    std::atomic<uint64_t> callbacks_{0};
    std::atomic<uint64_t> renderedFrames_{0};
    std::atomic<uint64_t> renderErrors_{0};
    std::atomic<uint64_t> inputMismatches_{0};
    std::atomic<uint64_t> outputMismatches_{0};
    std::atomic<uint64_t> oversizedBuffers_{0};
    std::atomic<float> inputPeak_{0};
    std::atomic<float> outputPeak_{0};
    CycleSignal cycleSignal_;
    const uint32_t inputChannels_;
    const uint32_t outputChannels_;
    const uint32_t maximumFrames_;
    uint32_t available_ = 0;
    uint32_t consumed_ = 0;
    std::vector<float> inputStorage_;     // inputChannels_ x maximumFrames_
    std::vector<float> renderedStorage_;  // renderChannels x maximumFrames_
    AudioBufferList inputList_;
    AudioBufferList renderList_;
    RenderBlock renderBlock_;
    std::unique_ptr<Callback> callback_;
    QRAudioDevice* device_ = nullptr;
    uint64_t procID_ = 0;
};

}  // namespace quorel
