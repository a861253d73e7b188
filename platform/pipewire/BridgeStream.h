#pragma once

#include "RealtimeBridge.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct pw_stream;
struct spa_io_position;

namespace quorel::pipewire {

class PipeWireContext;

// One of the two PipeWire streams around the real-time bridge: the virtual sink that other
// applications play into (its cycles go to RealtimeBridge::captureCycle), or the playback
// stream to the chosen output device (fed by RealtimeBridge::playbackCycle). Both are created
// inactive; setActive starts the cycles.
class BridgeStream {
public:
    enum class Role { VirtualSink, Playback };

    struct Options {
        std::string nodeName;
        std::string description;
        std::string group;        // node.group and node.link-group shared by both streams
        std::string target;       // Playback: the output device's node name
        uint32_t rate = 48000;
        uint32_t channels = 2;
        uint32_t latencyFrames = 512;
    };

    // Creates and connects the stream and waits until the server has accepted it. Returns
    // null and sets `error` (a negative errno) on failure.
    static std::unique_ptr<BridgeStream> create(PipeWireContext& context, RealtimeBridge& bridge,
                                                Role role, const Options& options, int& error);
    ~BridgeStream();
    BridgeStream(const BridgeStream&) = delete;
    BridgeStream& operator=(const BridgeStream&) = delete;

    uint32_t nodeID() const;
    // Starts or pauses the cycles; returns a negative errno on failure.
    int setActive(bool active);
    // The stream was disconnected or failed after it had been created (its device went away).
    bool isBroken() const;
    // The delay from this stream to the edge of the graph, in frames at `rate`; 0 when unknown.
    int64_t delayFrames() const;

private:
    struct Callbacks;
    struct Hook;
    BridgeStream(PipeWireContext& context, RealtimeBridge& bridge, Role role, uint32_t channels);

    PipeWireContext& context_;
    RealtimeBridge& bridge_;
    Role role_;
    uint32_t channels_;
    pw_stream* stream_ = nullptr;
    std::unique_ptr<Hook> hook_;
    std::atomic<spa_io_position*> position_{nullptr};  // the graph clock, read in the real-time callbacks
    int state_ = 0;                        // pw_stream_state
    bool connected_ = false;
    int error_ = 0;
};

}  // namespace quorel::pipewire
