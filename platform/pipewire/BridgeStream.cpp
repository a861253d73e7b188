#include "BridgeStream.h"

#include "LoopLock.h"
#include "PipeWireContext.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/node/io.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>

namespace quorel::pipewire {

struct BridgeStream::Hook {
    spa_hook listener{};
};

struct BridgeStream::Callbacks {
    static void stateChanged(void* data, pw_stream_state, pw_stream_state state, const char*)
    {
        auto* self = static_cast<BridgeStream*>(data);
        self->state_ = state;
        if (state == PW_STREAM_STATE_ERROR && self->error_ == 0) self->error_ = -EIO;
        pw_thread_loop_signal(self->context_.loop(), false);
    }

    static void ioChanged(void* data, uint32_t id, void* area, uint32_t)
    {
        auto* self = static_cast<BridgeStream*>(data);
        if (id == SPA_IO_Position)
            self->position_.store(static_cast<spa_io_position*>(area), std::memory_order_release);
    }

    static void process(void* data)
    {
        auto* self = static_cast<BridgeStream*>(data);
        // The graph cycle, the same for both streams of the group (0 = unknown).
        const spa_io_position* position = self->position_.load(std::memory_order_acquire);
        const uint64_t cycle = position ? position->clock.position + 1 : 0;
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
        if (!buffer) return;
        spa_data& d = buffer->buffer->datas[0];
        const uint32_t stride = self->channels_ * uint32_t(sizeof(float));
        if (self->role_ == Role::VirtualSink) {
            uint32_t frames = 0;
            const float* samples = nullptr;
            if (d.data && d.chunk) {
                const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
                frames = std::min(d.chunk->size, d.maxsize - offset) / stride;
                samples = reinterpret_cast<const float*>(static_cast<const uint8_t*>(d.data) + offset);
            }
            // A cycle that brought nothing still moves the output on by one cycle of silence.
            if (frames == 0) {
                frames = self->bridge_.lastPlaybackFrames();
                samples = nullptr;
            }
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const uint64_t nowNS = uint64_t(now.tv_sec) * 1000000000ull + uint64_t(now.tv_nsec);
            if (frames > 0) self->bridge_.captureCycle(samples, frames, cycle, nowNS);
        } else if (d.data) {
            // One cycle's worth: what the server asks for, else the cycle's duration; never the
            // whole buffer, which would queue several cycles of latency.
            uint32_t frames = d.maxsize / stride;
            if (buffer->requested > 0) frames = std::min(frames, uint32_t(buffer->requested));
            else if (position && position->clock.duration > 0)
                frames = uint32_t(std::min<uint64_t>(frames, position->clock.duration));
            frames = std::min(frames, RealtimeBridge::largestCycle);
            self->bridge_.playbackCycle(static_cast<float*>(d.data), frames, cycle);
            d.chunk->offset = 0;
            d.chunk->stride = int32_t(stride);
            d.chunk->size = frames * stride;
        }
        pw_stream_queue_buffer(self->stream_, buffer);
    }
};

BridgeStream::BridgeStream(PipeWireContext& context, RealtimeBridge& bridge, Role role, uint32_t channels)
    : context_(context), bridge_(bridge), role_(role), channels_(channels), hook_(std::make_unique<Hook>())
{
}

std::unique_ptr<BridgeStream> BridgeStream::create(PipeWireContext& context, RealtimeBridge& bridge,
                                                   Role role, const Options& options, int& error)
{
    const bool sink = role == Role::VirtualSink;
    const uint32_t channels = sink ? bridge.inputChannels() : bridge.outputChannels();
    std::unique_ptr<BridgeStream> self(new BridgeStream(context, bridge, role, channels));
    const std::string latency =
        std::to_string(options.latencyFrames) + "/" + std::to_string(options.rate);

    LoopLock lock(context.loop());
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio",
        PW_KEY_MEDIA_CATEGORY, sink ? "Capture" : "Playback",
        PW_KEY_NODE_NAME, options.nodeName.c_str(),
        PW_KEY_NODE_DESCRIPTION, options.description.c_str(),
        PW_KEY_NODE_GROUP, options.group.c_str(),
        PW_KEY_NODE_LINK_GROUP, options.group.c_str(),
        PW_KEY_NODE_LATENCY, latency.c_str(),
        PW_KEY_NODE_ALWAYS_PROCESS, "true",
        PW_KEY_APP_NAME, "Quorel",
        nullptr);
    if (sink) {
        pw_properties_set(props, PW_KEY_MEDIA_CLASS, "Audio/Sink");
    } else {
        pw_properties_set(props, PW_KEY_TARGET_OBJECT, options.target.c_str());
        pw_properties_set(props, PW_KEY_NODE_DONT_RECONNECT, "true");
        pw_properties_set(props, PW_KEY_MEDIA_ROLE, "Music");
    }
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.state_changed = &Callbacks::stateChanged;
        e.process = &Callbacks::process;
        e.io_changed = &Callbacks::ioChanged;
        return e;
    }();
    self->stream_ = pw_stream_new(context.core(), options.nodeName.c_str(), props);
    if (!self->stream_) {
        error = errno ? -errno : -ENOMEM;
        return nullptr;
    }
    pw_stream_add_listener(self->stream_, &self->hook_->listener, &events, self.get());

    uint8_t podBuffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(podBuffer, sizeof podBuffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = options.rate;
    info.channels = channels;
    if (channels == 1) {
        info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    } else {
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
    }
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    const int flags = PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS
                      | PW_STREAM_FLAG_INACTIVE;
    const int result = pw_stream_connect(self->stream_, sink ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT,
                                         PW_ID_ANY, pw_stream_flags(flags), params, 1);
    if (result < 0) {
        error = result;
        return nullptr;
    }
    timespec deadline{};
    pw_thread_loop_get_time(context.loop(), &deadline, 5 * SPA_NSEC_PER_SEC);
    while (self->state_ != PW_STREAM_STATE_PAUSED && self->state_ != PW_STREAM_STATE_STREAMING
           && self->state_ != PW_STREAM_STATE_ERROR)
        if (pw_thread_loop_timed_wait_full(context.loop(), &deadline) != 0) break;
    if (self->state_ == PW_STREAM_STATE_ERROR) {
        error = self->error_;
        return nullptr;
    }
    if (self->state_ != PW_STREAM_STATE_PAUSED && self->state_ != PW_STREAM_STATE_STREAMING) {
        error = -ETIMEDOUT;
        return nullptr;
    }
    self->connected_ = true;
    return self;
}

BridgeStream::~BridgeStream()
{
    if (!stream_) return;
    LoopLock lock(context_.loop());
    spa_hook_remove(&hook_->listener);
    pw_stream_destroy(stream_);
}

uint32_t BridgeStream::nodeID() const
{
    LoopLock lock(context_.loop());
    return pw_stream_get_node_id(stream_);
}

int BridgeStream::setActive(bool active)
{
    LoopLock lock(context_.loop());
    return pw_stream_set_active(stream_, active);
}

bool BridgeStream::isBroken() const
{
    LoopLock lock(context_.loop());
    return connected_ && (state_ == PW_STREAM_STATE_ERROR || state_ == PW_STREAM_STATE_UNCONNECTED);
}

int64_t BridgeStream::delayFrames() const
{
    pw_time time{};
    {
        LoopLock lock(context_.loop());
        if (pw_stream_get_time_n(stream_, &time, sizeof time) < 0) return 0;
    }
    if (time.rate.denom == 0 || time.rate.num == 0) return 0;
    return time.delay;
}

}  // namespace quorel::pipewire
