#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pw_filter;
struct spa_source;

namespace quorel::pipewire {

class PipeWireContext;

// Processes one slice of a cycle: `input` holds `inputChannels` planar channels, `output`
// receives `outputChannels` planar channels, `frames` frames each. `resumed` marks the first slice
// after the graph stopped (nothing played) and started again: what was in flight before the
// stop is not to be heard. Called on the real-time thread: must not block, allocate or throw.
using PlanarProcessFunction = void (*)(void* context, const float* const* input, uint32_t inputChannels,
                                       float* const* output, uint32_t outputChannels, uint32_t frames, bool resumed);

// The processing node inside the server's graph: a filter with two input ports ("input_FL",
// "input_FR") and two output ports ("output_FL", "output_FR"), one float channel each. The
// server runs it in the same cycle as the nodes that feed it and the node it feeds, once they
// are linked, so it adds no latency of its own. Its process callback runs on our client's
// real-time data thread. Created inactive; setActive starts the cycles.
// Like any idle sink's, its cycles stop while nothing plays (the server pauses the node, the
// device may suspend) and start again with the first sound; the pause is told on the loop's
// thread, so the cycle after it knows it starts afresh (a flag, no lock).
// A cycle runs on buffers that stay valid for the whole cycle or leaves them alone: the server
// takes a port's buffers away on the loop's thread (a link or the device vanished), so each port
// is closed there first, and that waits for a cycle in progress to end, before they are unmapped.
// The real-time path takes no lock for this: one flag per port.
// The graph may run at another rate than the server's default (clock.force-rate, or a player at
// one of clock.allowed-rates), and may switch while we run: each cycle reads the rate it runs at,
// and a cycle at a new rate tells the loop's thread (an event, no lock), which tells the
// context's change handlers.
class ChainFilter {
public:
    // Largest cycle handled in one piece (the processing chain renders at most 4096 frames per
    // call); longer cycles, up to the server's largest quantum of 8192, are processed in slices.
    static constexpr uint32_t sliceFrames = 4096;
    static constexpr uint32_t largestCycle = 8192;
    static constexpr uint32_t channels = 2;

    struct Options {
        std::string nodeName;
        std::string description;
        uint32_t rate = 48000;
        uint32_t latencyFrames = 512;
    };

    // Creates and connects the filter and waits until the server has accepted it and published
    // its ports. Returns null and sets `error` (a negative errno) on failure.
    static std::unique_ptr<ChainFilter> create(PipeWireContext& context, const Options& options, int& error);
    // Destroys the filter once the server has answered what was sent before (a round trip, at
    // most the context's sync time-out), so nothing it still tells the node is left unread.
    // Never on the loop's thread.
    ~ChainFilter();
    ChainFilter(const ChainFilter&) = delete;
    ChainFilter& operator=(const ChainFilter&) = delete;

    uint32_t nodeID() const { return nodeID_; }
    // Global ids of the ports, by channel (0 = FL, 1 = FR).
    uint32_t inputPort(uint32_t channel) const { return inputPorts_[channel]; }
    uint32_t outputPort(uint32_t channel) const { return outputPorts_[channel]; }

    // Any thread but the real-time one: the processor (null = silence) and how many output
    // channels it writes (1 or 2; with 1 the second output port plays silence), published to
    // the cycles as one value. Returns once no cycle runs the one it replaced.
    void setProcessor(PlanarProcessFunction function, void* context, uint32_t outputChannels);
    // Starts or pauses the cycles; returns a negative errno on failure.
    int setActive(bool active);
    // The server stopped the filter after it had been created.
    bool isBroken() const;
    // Starts counting afresh (the first cycle's size), while the filter is paused (no cycle runs).
    void reset();

    // Readings, from any thread.
    uint64_t cycles() const { return cycles_.load(std::memory_order_relaxed); }
    // Cycles that never came: a processed cycle more than two cycles after the one before
    // counts those in between (the graph stalled or our thread ran too late); the time the
    // server paused the node (nothing played) is no missed cycle.
    uint64_t missedCycles() const { return missedCycles_.load(std::memory_order_relaxed); }
    uint32_t firstCycleFrames() const { return firstCycleFrames_.load(std::memory_order_relaxed); }
    uint32_t lastCycleFrames() const { return lastCycleFrames_.load(std::memory_order_relaxed); }
    // The latency from our output ports to the edge of the graph (the device), in frames at
    // the graph's rate; 0 while unknown.
    uint32_t downstreamLatencyFrames() const { return downstreamLatency_.load(std::memory_order_relaxed); }
    // The sample rate the latest cycle ran at (the graph's clock); 0 before the first cycle.
    uint32_t graphRate() const { return graphRate_.load(std::memory_order_relaxed); }

private:
    struct Callbacks;
    struct Hook;
    // What a cycle calls: made off the real-time thread, never changed once published.
    struct Processor {
        PlanarProcessFunction function;
        void* context;
        uint32_t outputChannels;
    };
    explicit ChainFilter(PipeWireContext& context);
    // The steps of create: the node with its ports, connected and accepted by the server, then
    // the ports' global ids. Each returns 0 or a negative errno.
    int makeNode(const Options& options);
    int connect();
    int findPortIDs();
    void process(uint32_t frames, uint32_t rate);
    // Index into open_ of a port (inputs, then outputs); -1 when not ours.
    int portIndex(const void* port) const;
    // No cycle touches the port's buffers any longer; returns once a running one has ended.
    void closePort(const void* port);

    PipeWireContext& context_;
    pw_filter* filter_ = nullptr;
    std::unique_ptr<Hook> hook_;
    void* inputs_[channels] = {};
    void* outputs_[channels] = {};
    uint32_t inputPorts_[channels] = {};
    uint32_t outputPorts_[channels] = {};
    uint32_t nodeID_ = 0;
    uint32_t rate_ = 48000;
    int state_ = 0;  // pw_filter_state
    bool connected_ = false;
    std::vector<float> silence_;  // largestCycle zeros, read where an input has no buffer
    std::vector<float> scratch_;  // channels x largestCycle, written where an output has no buffer
    // Per port (inputs, then outputs): whether cycles may use its buffers. Cleared on the loop's
    // thread before the server takes the buffers away, set once new ones are added.
    std::atomic<bool> open_[2 * channels] = {};
    int buffers_[2 * channels] = {};              // each port's buffers, counted on the loop's thread
    std::unique_ptr<const Processor> published_;  // what processor_ points to; null = silence
    std::atomic<const Processor*> processor_{nullptr};
    bool active_ = false;  // as last set (setActive)
    std::atomic<uint64_t> cycles_{0};
    std::atomic<uint64_t> missedCycles_{0};
    std::atomic<uint64_t> lastCycleNS_{0};
    // Set on the loop's thread when the server pauses the node; the next cycle takes it.
    std::atomic<bool> resumePending_{false};
    std::atomic<uint32_t> firstCycleFrames_{0};
    std::atomic<uint32_t> lastCycleFrames_{0};
    std::atomic<uint32_t> downstreamLatency_{0};
    std::atomic<uint32_t> graphRate_{0};
    spa_source* rateEvent_ = nullptr;  // signalled by a cycle at a new rate; runs on the loop's thread
};

}  // namespace quorel::pipewire
