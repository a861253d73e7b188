// A filter client made the way ChainFilter makes its node (same properties, ports, flags and
// real-time process callback), for live-overhead to link where ours sits and measure the same
// way:
//   copy   only copies its inputs to its outputs: what its data thread costs per cycle is
//          PipeWire's floor for any filter client (waking, the node's process plumbing, the
//          buffers' queues, telling the next node);
//   chain  runs the engine's chain through QRSystemIO (LiveChain, every effect on) and times its
//          own process callback, from entry to exit, while recording (SIGUSR1 starts and stops
//          it); at the end prints {"cycles", "frames", "medianNs", "meanNs"} per cycle.
// usage: bench_live_filter copy|chain NODE_NAME   (runs until SIGINT or SIGTERM)

#include "ClientConfig.h"
#include "LiveChain.h"

#include <pipewire/filter.h>
#include <pipewire/pipewire.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <vector>

namespace {

constexpr const char* channelNames[2] = {"FL", "FR"};
constexpr uint32_t largestCycle = 8192;

uint64_t now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000000000ull + uint64_t(t.tv_nsec);
}

struct Filter {
    pw_main_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_filter* filter = nullptr;
    void* inputs[2] = {};
    void* outputs[2] = {};
    std::vector<float> silence = std::vector<float>(largestCycle, 0.0f);
    std::vector<float> scratch = std::vector<float>(2 * largestCycle, 0.0f);
    std::unique_ptr<quorel::bench::LiveChain> chain;  // null: copy
    std::atomic<bool> recording{false};
    std::vector<uint32_t> cycleNS = std::vector<uint32_t>(1u << 20);
    size_t recorded = 0;  // written by the data thread only, read once it has stopped
    uint32_t frames = 0;
};

// Real-time thread.
void process(void* data, spa_io_position* position)
{
    const uint64_t start = now();
    auto* self = static_cast<Filter*>(data);
    if (!position) return;
    const auto frames = uint32_t(std::min<uint64_t>(position->clock.duration, largestCycle));
    const float* in[2];
    float* out[2];
    for (int c = 0; c < 2; ++c) {
        const auto* i = static_cast<const float*>(pw_filter_get_dsp_buffer(self->inputs[c], frames));
        auto* o = static_cast<float*>(pw_filter_get_dsp_buffer(self->outputs[c], frames));
        in[c] = i ? i : self->silence.data();
        out[c] = o ? o : self->scratch.data() + c * largestCycle;
    }
    if (!self->chain) {
        for (int c = 0; c < 2; ++c) std::memcpy(out[c], in[c], frames * sizeof(float));
        return;
    }
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(frames - done, 4096u);
        const float* sliceIn[2] = {in[0] + done, in[1] + done};
        float* sliceOut[2] = {out[0] + done, out[1] + done};
        self->chain->cycle(sliceIn, sliceOut, n);
        done += n;
    }
    if (self->recording.load(std::memory_order_relaxed) && self->recorded < self->cycleNS.size()) {
        self->cycleNS[self->recorded++] = uint32_t(now() - start);
        self->frames = frames;
    }
}

void quit(void* data, int) { pw_main_loop_quit(static_cast<Filter*>(data)->loop); }

void toggleRecording(void* data, int)
{
    auto* self = static_cast<Filter*>(data);
    self->recording.store(!self->recording.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool chain = argc == 3 && std::strcmp(argv[1], "chain") == 0;
    if (argc != 3 || (!chain && std::strcmp(argv[1], "copy") != 0)) {
        std::fprintf(stderr, "usage: bench_live_filter copy|chain NODE_NAME\n");
        return 2;
    }
    const char* name = argv[2];
    pw_init(&argc, &argv);
    Filter self;
    if (chain) self.chain = std::make_unique<quorel::bench::LiveChain>(48000);
    self.loop = pw_main_loop_new(nullptr);
    pw_loop* loop = pw_main_loop_get_loop(self.loop);
    pw_loop_add_signal(loop, SIGINT, quit, &self);
    pw_loop_add_signal(loop, SIGTERM, quit, &self);
    pw_loop_add_signal(loop, SIGUSR1, toggleRecording, &self);
    static const pw_filter_events events = [] {
        pw_filter_events e{};
        e.version = PW_VERSION_FILTER_EVENTS;
        e.process = &process;
        return e;
    }();
    // As PipeWireContext connects: the real-time clients' configuration, whose module raises the
    // data thread to a real-time policy, as ours is.
    const char* config = quorel::pipewire::realtimeClientConfig(pw_get_library_version());
    self.context = pw_context_new(loop, pw_properties_new(PW_KEY_CONFIG_NAME, config, nullptr), 0);
    self.core = self.context ? pw_context_connect(self.context, nullptr, 0) : nullptr;
    if (!self.core) {
        std::fprintf(stderr, "bench_live_filter: could not connect to the server\n");
        return 1;
    }
    self.filter =
        pw_filter_new(self.core, name,
                      pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Filter", PW_KEY_MEDIA_ROLE,
                                        "DSP", PW_KEY_NODE_NAME, name, PW_KEY_NODE_LATENCY, "512/48000",
                                        PW_KEY_NODE_PASSIVE, "true", PW_KEY_NODE_AUTOCONNECT, "false", nullptr));
    spa_hook listener{};
    pw_filter_add_listener(self.filter, &listener, &events, &self);
    for (int c = 0; c < 2; ++c) {
        for (const bool input : {true, false}) {
            char port[32];
            std::snprintf(port, sizeof port, "%s%s", input ? "input_" : "output_", channelNames[c]);
            (input ? self.inputs : self.outputs)[c] = pw_filter_add_port(
                self.filter, input ? PW_DIRECTION_INPUT : PW_DIRECTION_OUTPUT, PW_FILTER_PORT_FLAG_MAP_BUFFERS, 0,
                pw_properties_new(PW_KEY_FORMAT_DSP, "32 bit float mono audio", PW_KEY_PORT_NAME, port,
                                  PW_KEY_AUDIO_CHANNEL, channelNames[c], nullptr),
                nullptr, 0);
        }
    }
    if (pw_filter_connect(self.filter, PW_FILTER_FLAG_RT_PROCESS, nullptr, 0) < 0) {
        std::fprintf(stderr, "bench_live_filter: could not connect the filter\n");
        return 1;
    }
    pw_main_loop_run(self.loop);
    pw_filter_destroy(self.filter);  // the data thread has stopped once this returns
    pw_core_disconnect(self.core);
    pw_context_destroy(self.context);
    pw_main_loop_destroy(self.loop);
    if (chain) {
        std::vector<uint32_t> times(self.cycleNS.begin(), self.cycleNS.begin() + std::ptrdiff_t(self.recorded));
        std::sort(times.begin(), times.end());
        const double median = times.empty() ? 0 : times[times.size() / 2];
        const double mean = times.empty() ? 0 : std::accumulate(times.begin(), times.end(), 0.0) / double(times.size());
        std::printf("{\"cycles\":%zu,\"frames\":%u,\"medianNs\":%.0f,\"meanNs\":%.0f}\n", times.size(), self.frames,
                    median, mean);
    }
    self.chain.reset();
    pw_deinit();
    return 0;
}
