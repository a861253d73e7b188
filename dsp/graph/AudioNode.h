#pragma once

#include "AudioBufferList.h"
#include "AudioFormat.h"
#include "AudioUnitStatus.h"
#include "RenderTypes.h"
#include "UnitError.h"

#include <cstdint>
#include <vector>

namespace quorel {

class AudioEngine;

// A node of the pull graph. Each input bus takes one connection; an output may feed several
// nodes, so a node renders once per engine cycle into a buffer of its own and every consumer
// reads that same output.
class AudioNode {
public:
    virtual ~AudioNode();
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;

    // The format of the connection leaving the node (channel count 0 while unconnected).
    const AudioFormat& outputFormat() const { return outputFormat_; }
    // The format of the connection into an input bus (channel count 0 while unconnected).
    AudioFormat inputFormat(uint32_t bus) const;
    // Summed processing delay of the node itself, in seconds.
    virtual double latency() const { return 0; }

protected:
    AudioNode() = default;

    struct Connection {
        AudioNode* source = nullptr;
        AudioFormat format;
    };

    // Control thread, inside AudioEngine::prepare(): buffers for up to `maximumFrames`.
    virtual UnitError allocate(uint32_t maximumFrames);
    virtual void deallocate();
    virtual void reset() {}

    // Render thread: fills `output` (the node's own buffers, `frames` long) for this cycle.
    virtual Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept = 0;

    // Render thread: the output of the source connected to `bus`, rendered at most once per
    // cycle. -10876 when nothing is connected.
    Status pullInput(uint32_t bus, uint32_t frames, const AudioTimeStamp& timestamp,
                     const AudioBufferList*& data) noexcept;
    // Render thread: the same, to be worked on in place in `output`. Where this node is the
    // source's only consumer and both have the same channels, `output` is pointed at the
    // source's buffers (every output lives in some node's storage, and nothing else reads that
    // one this cycle); otherwise the source is copied into `output` (see copyChannels).
    Status pullInputInPlace(uint32_t bus, uint32_t frames, const AudioTimeStamp& timestamp,
                            AudioBufferList& output) noexcept;

    // Render thread: this node's output for the cycle.
    Status pull(uint64_t cycle, uint32_t frames, const AudioTimeStamp& timestamp,
                const AudioBufferList*& data) noexcept;

    const std::vector<Connection>& inputs() const { return inputs_; }

private:
    friend class AudioEngine;

    std::vector<Connection> inputs_;
    AudioFormat outputFormat_{};
    std::vector<float> storage_;
    AudioBufferList output_;
    uint64_t cycle_ = 0;
    uint32_t consumers_ = 0;  // input buses fed by this node, counted when the engine prepares
    uint64_t renderedCycle_ = UINT64_MAX;
    Status renderedStatus_ = 0;
    AudioEngine* engine_ = nullptr;
};

// Copies `frames` frames of `from` into `to`, mapping channels: a mono source goes to every
// destination channel, a wider source into a mono destination is averaged, otherwise channel
// by channel (missing ones silent).
void copyChannels(const AudioBufferList& from, AudioBufferList& to, uint32_t frames) noexcept;

}  // namespace quorel
