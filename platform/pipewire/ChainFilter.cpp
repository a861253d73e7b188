#include "ChainFilter.h"

#include "LoopLock.h"
#include "PipeWireContext.h"

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>
#include <spa/param/latency-utils.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

namespace quorel::pipewire {

namespace {
constexpr const char* channelNames[ChainFilter::channels] = {"FL", "FR"};
constexpr uint64_t standstillNS = 250'000'000;  // longer than the largest cycle (8192 frames at 44.1 kHz)
}  // namespace

struct ChainFilter::Hook {
    spa_hook listener{};
};

struct ChainFilter::Callbacks {
    static void stateChanged(void* data, pw_filter_state, pw_filter_state state, const char*)
    {
        auto* self = static_cast<ChainFilter*>(data);
        // The server pauses the node when its graph stops (nothing plays), and starts it again
        // with the next sound; the Start may reach this thread after that sound's first cycle,
        // so the pause is what is told.
        if (state == PW_FILTER_STATE_PAUSED) self->resumePending_.store(true, std::memory_order_release);
        self->state_ = state;
        pw_thread_loop_signal(self->context_.loop(), false);
        self->context_.changed();
    }

    // The latency the graph reports from our outputs to the device.
    static void paramChanged(void* data, void* port, uint32_t id, const spa_pod* param)
    {
        auto* self = static_cast<ChainFilter*>(data);
        if (id != SPA_PARAM_Latency || !param || port != self->outputs_[0]) return;
        spa_latency_info info{};
        if (spa_latency_parse(param, &info) < 0 || info.direction != SPA_DIRECTION_INPUT) return;
        const uint32_t quantum = std::max(self->lastCycleFrames_.load(std::memory_order_relaxed), 1u);
        const uint32_t rate = self->graphRate_.load(std::memory_order_relaxed);
        const double frames = double(info.min_quantum) * quantum + double(info.min_rate)
                              + double(info.min_ns) * (rate > 0 ? rate : self->rate_) / 1e9;
        self->downstreamLatency_.store(frames > 0 ? uint32_t(std::lround(frames)) : 0, std::memory_order_relaxed);
    }

    // The server takes a port's buffers away (its link went, the device vanished, the format
    // changed) on the loop's thread and unmaps them right after this returns: no cycle may touch
    // them from here on. Main loop thread.
    static void removeBuffer(void* data, void* port, pw_buffer*)
    {
        auto* self = static_cast<ChainFilter*>(data);
        if (const int index = self->portIndex(port); index >= 0 && self->buffers_[index] > 0) --self->buffers_[index];
        self->closePort(port);
    }

    // A port's link area going away closes it too; a new one opens it again where the port
    // still has its buffers.
    static void ioChanged(void* data, void* port, uint32_t id, void* area, uint32_t)
    {
        auto* self = static_cast<ChainFilter*>(data);
        const int index = self->portIndex(port);
        if (index < 0 || id != SPA_IO_Buffers) return;
        if (!area)
            self->closePort(port);
        else if (self->buffers_[index] > 0)
            self->open_[index].store(true, std::memory_order_release);
    }

    // New buffers, mapped before they are handed to the port: cycles may use them.
    static void addBuffer(void* data, void* port, pw_buffer*)
    {
        auto* self = static_cast<ChainFilter*>(data);
        const int index = self->portIndex(port);
        if (index < 0) return;
        ++self->buffers_[index];
        self->open_[index].store(true, std::memory_order_release);
    }

    static void process(void* data, spa_io_position* position)
    {
        auto* self = static_cast<ChainFilter*>(data);
        uint32_t frames = position ? uint32_t(std::min<uint64_t>(position->clock.duration, largestCycle))
                                   : self->lastCycleFrames_.load(std::memory_order_relaxed);
        // The clock's rate is the duration of one sample: 1/48000 at 48 kHz.
        const spa_fraction period = position ? position->clock.rate : spa_fraction{0, 0};
        const uint32_t rate = period.num > 0 ? period.denom / period.num : 0;
        if (frames > 0) self->process(frames, rate);
    }

    // Loop thread: a cycle ran at a new rate.
    static void rateChanged(void* data, uint64_t)
    {
        auto* self = static_cast<ChainFilter*>(data);
        self->context_.changed();
    }
};

ChainFilter::ChainFilter(PipeWireContext& context)
    : context_(context), hook_(std::make_unique<Hook>()), silence_(largestCycle, 0.0f),
      scratch_(size_t(channels) * largestCycle, 0.0f)
{
}

std::unique_ptr<ChainFilter> ChainFilter::create(PipeWireContext& context, const Options& options, int& error)
{
    std::unique_ptr<ChainFilter> self(new ChainFilter(context));
    self->rate_ = options.rate;
    int result = 0;
    {
        LoopLock lock(context.loop());
        result = self->makeNode(options);
        if (result == 0) result = self->connect();
    }
    if (result == 0) result = self->findPortIDs();
    if (result != 0) {
        error = result;
        return nullptr;
    }
    self->connected_ = true;
    return self;
}

// Under the loop's lock.
int ChainFilter::makeNode(const Options& options)
{
    const std::string latency = std::to_string(options.latencyFrames) + "/" + std::to_string(options.rate);
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Filter", PW_KEY_MEDIA_ROLE, "DSP",
                          PW_KEY_NODE_NAME, options.nodeName.c_str(), PW_KEY_NODE_DESCRIPTION,
                          options.description.c_str(), PW_KEY_NODE_LATENCY, latency.c_str(),
                          // Nothing keeps it running (no always-process, passive links): it runs whenever its
                          // graph runs (an application plays into our sink) and stops with it, so the device
                          // can suspend while nothing plays, as with any idle sink.
                          PW_KEY_NODE_PASSIVE, "true",
                          // Our own links join it to the graph; the session manager links nothing to it.
                          PW_KEY_NODE_AUTOCONNECT, "false",
                          // Never suspended by the session manager (see GraphPath::makeSink).
                          "session.suspend-timeout-seconds", "0", PW_KEY_APP_NAME, "Quorel", nullptr);
    static const pw_filter_events events = [] {
        pw_filter_events e{};
        e.version = PW_VERSION_FILTER_EVENTS;
        e.state_changed = &Callbacks::stateChanged;
        e.param_changed = &Callbacks::paramChanged;
        e.process = &Callbacks::process;
        e.add_buffer = &Callbacks::addBuffer;
        e.remove_buffer = &Callbacks::removeBuffer;
        e.io_changed = &Callbacks::ioChanged;
        return e;
    }();
    rateEvent_ = pw_loop_add_event(pw_thread_loop_get_loop(context_.loop()), &Callbacks::rateChanged, this);
    if (!rateEvent_) return errno ? -errno : -ENOMEM;
    filter_ = pw_filter_new(context_.core(), options.nodeName.c_str(), props);
    if (!filter_) return errno ? -errno : -ENOMEM;
    pw_filter_add_listener(filter_, &hook_->listener, &events, this);
    for (uint32_t c = 0; c < channels; ++c) {
        for (const bool input : {true, false}) {
            const std::string name = std::string(input ? "input_" : "output_") + channelNames[c];
            void* port = pw_filter_add_port(
                filter_, input ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME, name.c_str(),
                                  PW_KEY_AUDIO_CHANNEL, channelNames[c], nullptr),
                nullptr, 0);
            if (!port) return errno ? -errno : -ENOMEM;
            (input ? inputs_ : outputs_)[c] = port;
        }
    }
    return 0;
}

// Under the loop's lock: connects the node inactive and waits until the server has accepted it.
int ChainFilter::connect()
{
    const int result =
        pw_filter_connect(filter_, pw_filter_flags(PW_FILTER_FLAG_RT_PROCESS | PW_FILTER_FLAG_INACTIVE), nullptr, 0);
    if (result < 0) return result;
    timespec deadline{};
    pw_thread_loop_get_time(context_.loop(), &deadline, 5 * SPA_NSEC_PER_SEC);
    while (state_ != PW_FILTER_STATE_PAUSED && state_ != PW_FILTER_STATE_STREAMING && state_ != PW_FILTER_STATE_ERROR)
        if (pw_thread_loop_timed_wait_full(context_.loop(), &deadline) != 0) break;
    if (state_ != PW_FILTER_STATE_PAUSED && state_ != PW_FILTER_STATE_STREAMING)
        return state_ == PW_FILTER_STATE_ERROR ? -EIO : -ETIMEDOUT;
    nodeID_ = pw_filter_get_node_id(filter_);
    return 0;
}

// The ports' global ids, once the registry has told them.
int ChainFilter::findPortIDs()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (!context_.sync()) break;
        int found = 0;
        for (const PipeWireContext::Port& port : context_.ports(nodeID_)) {
            for (uint32_t c = 0; c < channels; ++c) {
                if (port.name == std::string("input_") + channelNames[c] && port.input) {
                    inputPorts_[c] = port.id;
                    ++found;
                } else if (port.name == std::string("output_") + channelNames[c] && !port.input) {
                    outputPorts_[c] = port.id;
                    ++found;
                }
            }
        }
        if (found == 2 * int(channels)) return 0;
        struct timespec pause {
            0, 20 * 1000 * 1000
        };
        nanosleep(&pause, nullptr);
    }
    return -ETIMEDOUT;
}

ChainFilter::~ChainFilter()
{
    if (!filter_ && !rateEvent_) return;
    // What the server still has to tell the node first reaches it: the links just removed
    // change its graph, and the server hands it the new peers' activations, each with an
    // eventfd that only the node's own handler takes (and closes when the peer goes). A message
    // that comes once the node is destroyed is dropped with its descriptor still open.
    if (filter_) context_.sync();
    LoopLock lock(context_.loop());
    if (filter_) {
        spa_hook_remove(&hook_->listener);
        pw_filter_destroy(filter_);
    }
    // No cycle signals it any longer.
    if (rateEvent_) pw_loop_destroy_source(pw_thread_loop_get_loop(context_.loop()), rateEvent_);
}

void ChainFilter::setProcessor(PlanarProcessFunction function, void* context, uint32_t outputChannels)
{
    std::unique_ptr<const Processor> next;
    if (function) next.reset(new Processor{function, context, std::clamp(outputChannels, 1u, channels)});
    processor_.store(next.get(), std::memory_order_release);
    // A cycle that took the previous one ends before it goes.
    if (published_) context_.flushRealtime();
    published_ = std::move(next);
}

int ChainFilter::setActive(bool active)
{
    LoopLock lock(context_.loop());
    const int result = pw_filter_set_active(filter_, active);
    if (result >= 0) active_ = active;
    return result;
}

bool ChainFilter::isBroken() const
{
    LoopLock lock(context_.loop());
    return connected_ && (state_ == PW_FILTER_STATE_ERROR || state_ == PW_FILTER_STATE_UNCONNECTED);
}

int ChainFilter::portIndex(const void* port) const
{
    for (uint32_t c = 0; c < channels; ++c) {
        if (port == inputs_[c]) return int(c);
        if (port == outputs_[c]) return int(channels + c);
    }
    return -1;
}

void ChainFilter::closePort(const void* port)
{
    const int index = portIndex(port);
    if (index < 0 || !open_[index].exchange(false, std::memory_order_acq_rel)) return;
    // A cycle that began before the port was closed ends before its buffers go.
    context_.flushRealtime();
}

void ChainFilter::reset()
{
    assert(!active_ && "the first cycle's size is counted afresh while no cycle runs");
    firstCycleFrames_.store(0, std::memory_order_relaxed);
    lastCycleNS_.store(0, std::memory_order_relaxed);
}

// Real-time thread.
void ChainFilter::process(uint32_t frames, uint32_t rate)
{
    cycles_.fetch_add(1, std::memory_order_relaxed);
    if (rate > 0 && graphRate_.exchange(rate, std::memory_order_relaxed) != rate)
        pw_loop_signal_event(pw_thread_loop_get_loop(context_.loop()), rateEvent_);
    const uint32_t cycleRate = rate > 0 ? rate : rate_;
    lastCycleFrames_.store(frames, std::memory_order_relaxed);
    if (firstCycleFrames_.load(std::memory_order_relaxed) == 0)
        firstCycleFrames_.store(frames, std::memory_order_relaxed);

    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowNS = uint64_t(now.tv_sec) * 1000000000ull + uint64_t(now.tv_nsec);
    const uint64_t lastNS = lastCycleNS_.exchange(nowNS, std::memory_order_relaxed);
    const bool paused = resumePending_.exchange(false, std::memory_order_acq_rel);
    // The graph starts again after a pause, or after standing still for longer than any cycle
    // (a driver suspended under us): the earlier sound is over.
    const bool resumed = paused || (lastNS > 0 && nowNS > lastNS + standstillNS);
    if (!paused && cycleRate > 0 && lastNS > 0 && nowNS > lastNS) {
        const uint64_t periodNS = uint64_t(frames) * 1000000000ull / cycleRate;
        const uint64_t gap = nowNS - lastNS;
        if (periodNS > 0 && gap > 2 * periodNS)
            missedCycles_.fetch_add((gap + periodNS / 2) / periodNS - 1, std::memory_order_relaxed);
    }

    const float* in[channels];
    float* out[channels];
    for (uint32_t c = 0; c < channels; ++c) {
        // A closed port's buffers are on their way out: never touched, not even dequeued.
        const auto* data = open_[c].load(std::memory_order_acquire)
                               ? static_cast<const float*>(pw_filter_get_dsp_buffer(inputs_[c], frames))
                               : nullptr;
        in[c] = data ? data : silence_.data();
        auto* buffer = open_[channels + c].load(std::memory_order_acquire)
                           ? static_cast<float*>(pw_filter_get_dsp_buffer(outputs_[c], frames))
                           : nullptr;
        // An output nothing is linked to has no buffer: the chain still runs, into scratch.
        out[c] = buffer ? buffer : scratch_.data() + size_t(c) * largestCycle;
    }
    const Processor* const processor = processor_.load(std::memory_order_acquire);
    if (!processor) {
        for (float* o : out) std::memset(o, 0, size_t(frames) * sizeof(float));
        return;
    }
    const uint32_t written = processor->outputChannels;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(frames - done, sliceFrames);
        const float* sliceIn[channels] = {in[0] + done, in[1] + done};
        float* sliceOut[channels] = {out[0] + done, out[1] + done};
        processor->function(processor->context, sliceIn, channels, sliceOut, written, n, resumed && done == 0);
        done += n;
    }
    if (written < channels) std::memset(out[1], 0, size_t(frames) * sizeof(float));
}

}  // namespace quorel::pipewire
