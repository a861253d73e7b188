// Plays into the server's default sink (or straight to the stand-in speaker with --direct) and
// records the speaker's monitor in the same graph, then reports either the delay of clicks
// (--clicks N) or the blocks of a continuous tone that fell out (--tone SECONDS), as one JSON
// object. Positions come from the graph clock of each cycle, so the figure is exact to the frame.
#include <pipewire/pipewire.h>
#include <spa/node/io.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t rate = 48000;
constexpr uint32_t channels = 2;

struct Run {
    bool tone = false;
    uint32_t clicks = 10;
    double toneSeconds = 60;
    uint32_t period = rate / 2;  // frames between clicks
    // Playback side.
    pw_stream* playback = nullptr;
    uint64_t written = 0;
    std::vector<int64_t> clickTicks;
    std::atomic<bool> done{false};
    // Capture side.
    pw_stream* capture = nullptr;
    std::vector<int64_t> heardTicks;
    int64_t lastHeard = -1000000000;
    std::vector<float> blockLevels;  // RMS dBFS of 20 ms blocks
    double blockSum = 0;
    uint32_t blockFill = 0;
    std::atomic<uint64_t> captured{0};
};

// Both streams run once in every cycle of the same graph. The graph clock's position is the
// same for every node of one cycle; without it, the monotonic time of each callback tells the
// cycles apart (which needs both callbacks well within half a cycle of each other).
std::atomic<uint32_t> cycleFrames{0};
std::atomic<spa_io_position*> playbackPosition{nullptr};
std::atomic<spa_io_position*> capturePosition{nullptr};

double nowSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A position in frames on a time line shared by both streams: the cycle's start time in
// frames, snapped to whole cycles, plus the offset in the cycle.
int64_t cycleTicks(const std::atomic<spa_io_position*>& position)
{
    if (const spa_io_position* p = position.load(std::memory_order_acquire)) return int64_t(p->clock.position);
    const uint32_t frames = std::max(cycleFrames.load(), 1u);
    const double cycles = nowSeconds() * rate / frames;
    return int64_t(std::llround(cycles)) * frames;
}

void onPlayback(void* data)
{
    auto* run = static_cast<Run*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(run->playback);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    auto* out = static_cast<float*>(d.data);
    uint32_t frames = d.maxsize / (channels * sizeof(float));
    if (b->requested) frames = std::min(frames, uint32_t(b->requested));
    cycleFrames.store(frames);
    const int64_t ticks = cycleTicks(playbackPosition);
    const uint64_t toneFrames = uint64_t(run->toneSeconds * rate);
    for (uint32_t i = 0; i < frames; ++i) {
        const uint64_t n = run->written + i;
        float v = 0;
        if (run->tone) {
            if (n < toneFrames) v = 0.1f * float(std::sin(2 * M_PI * 1000.0 * double(n) / rate));
        } else if (n % run->period == run->period / 2 && run->clickTicks.size() < run->clicks) {
            v = 0.5f;
            run->clickTicks.push_back(ticks + i);
        }
        out[i * channels] = out[i * channels + 1] = v;
    }
    run->written += frames;
    if (run->tone ? run->written > toneFrames + rate : run->clickTicks.size() >= run->clicks
                                                          && run->written % run->period < frames)
        run->done.store(true);
    d.chunk->offset = 0;
    d.chunk->stride = channels * sizeof(float);
    d.chunk->size = frames * channels * sizeof(float);
    pw_stream_queue_buffer(run->playback, b);
}

void onCapture(void* data)
{
    auto* run = static_cast<Run*>(data);
    pw_buffer* b = pw_stream_dequeue_buffer(run->capture);
    if (!b) return;
    spa_data& d = b->buffer->datas[0];
    const uint32_t frames = d.chunk->size / (channels * sizeof(float));
    const auto* in = static_cast<const float*>(d.data) + d.chunk->offset / sizeof(float);
    const int64_t ticks = cycleTicks(capturePosition);
    for (uint32_t i = 0; i < frames; ++i) {
        const float v = in[i * channels];
        if (run->tone) {
            run->blockSum += double(v) * v;
            if (++run->blockFill == rate / 50) {
                const double rms = std::sqrt(run->blockSum / run->blockFill);
                if (run->blockLevels.size() < run->blockLevels.capacity())
                    run->blockLevels.push_back(float(rms > 0 ? 20 * std::log10(rms) : -200));
                run->blockSum = 0;
                run->blockFill = 0;
            }
        } else if (std::fabs(v) > 0.25f && ticks + i - run->lastHeard > run->period / 2) {
            run->lastHeard = ticks + i;
            if (run->heardTicks.size() < run->heardTicks.capacity()) run->heardTicks.push_back(ticks + i);
        }
    }
    run->captured += frames;
    pw_stream_queue_buffer(run->capture, b);
}

pw_stream* makeStream(pw_thread_loop* loop, pw_core* core, Run* run, bool isPlayback, const char* target,
                      spa_hook* hook)
{
    pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY,
                                             isPlayback ? "Playback" : "Capture", PW_KEY_NODE_NAME,
                                             isPlayback ? "latency-probe-out" : "latency-probe-in", nullptr);
    if (target) pw_properties_set(props, PW_KEY_TARGET_OBJECT, target);
    if (!isPlayback) pw_properties_set(props, PW_KEY_STREAM_CAPTURE_SINK, "true");
    static pw_stream_events playbackEvents{}, captureEvents{};
    playbackEvents.version = captureEvents.version = PW_VERSION_STREAM_EVENTS;
    playbackEvents.process = &onPlayback;
    captureEvents.process = &onCapture;
    playbackEvents.io_changed = [](void*, uint32_t id, void* area, uint32_t) {
        if (id == SPA_IO_Position) playbackPosition.store(static_cast<spa_io_position*>(area));
    };
    captureEvents.io_changed = [](void*, uint32_t id, void* area, uint32_t) {
        if (id == SPA_IO_Position) capturePosition.store(static_cast<spa_io_position*>(area));
    };
    pw_stream* stream = pw_stream_new(core, isPlayback ? "latency-probe-out" : "latency-probe-in", props);
    pw_stream_add_listener(stream, hook, isPlayback ? &playbackEvents : &captureEvents, run);
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = rate;
    info.channels = channels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    pw_stream_connect(stream, isPlayback ? PW_DIRECTION_OUTPUT : PW_DIRECTION_INPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS
                                      | PW_STREAM_FLAG_RT_PROCESS),
                      params, 1);
    (void)loop;
    return stream;
}

}  // namespace

int main(int argc, char** argv)
{
    Run run;
    bool direct = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--direct") direct = true;
        else if (a == "--clicks" && i + 1 < argc) run.clicks = uint32_t(std::stoul(argv[++i]));
        else if (a == "--tone" && i + 1 < argc) run.tone = true, run.toneSeconds = std::stod(argv[++i]);
        else {
            std::fprintf(stderr, "usage: capture_latency [--direct] [--clicks N | --tone SECONDS]\n");
            return 1;
        }
    }
    run.clickTicks.reserve(run.clicks);
    run.heardTicks.reserve(run.clicks + 16);
    run.blockLevels.reserve(size_t(run.toneSeconds * 50) + 500);

    pw_init(&argc, &argv);
    pw_thread_loop* loop = pw_thread_loop_new("latency", nullptr);
    pw_context* context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
    pw_thread_loop_start(loop);
    pw_thread_loop_lock(loop);
    pw_core* core = pw_context_connect(context, nullptr, 0);
    if (!core) {
        pw_thread_loop_unlock(loop);
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    spa_hook captureHook{}, playbackHook{};
    run.capture = makeStream(loop, core, &run, false, "test_speakers", &captureHook);
    pw_thread_loop_unlock(loop);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    pw_thread_loop_lock(loop);
    run.playback = makeStream(loop, core, &run, true, direct ? "test_speakers" : nullptr, &playbackHook);
    pw_thread_loop_unlock(loop);

    const double limit = (run.tone ? run.toneSeconds : run.clicks * 0.5) + 10;
    for (int waited = 0; !run.done.load() && waited < int(limit * 100); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    pw_thread_loop_lock(loop);
    pw_stream_destroy(run.playback);
    pw_stream_destroy(run.capture);
    pw_thread_loop_unlock(loop);
    pw_thread_loop_stop(loop);

    if (run.tone) {
        // Blocks of the steady tone (after its first 100 ms, before its last 100 ms).
        size_t first = 0;
        while (first < run.blockLevels.size() && run.blockLevels[first] < -40) ++first;
        size_t last = run.blockLevels.size();
        while (last > first && run.blockLevels[last - 1] < -40) --last;
        first += 5;
        last = last > 5 ? last - 5 : 0;
        std::vector<float> steady(run.blockLevels.begin() + long(std::min(first, last)),
                                  run.blockLevels.begin() + long(last));
        std::vector<float> sorted = steady;
        std::sort(sorted.begin(), sorted.end());
        const float median = sorted.empty() ? -200 : sorted[sorted.size() / 2];
        size_t dropped = 0;
        for (float level : steady) dropped += std::fabs(level - median) > 1.0f ? 1 : 0;
        std::printf("{\"mode\":\"tone\",\"direct\":%s,\"heardSeconds\":%.2f,\"medianDBFS\":%.2f,"
                    "\"blocksOff\":%zu}\n",
                    direct ? "true" : "false", double(steady.size()) / 50, double(median), dropped);
        return 0;
    }
    if (std::getenv("CAPTURE_LATENCY_DEBUG")) {
        for (auto t : run.clickTicks) std::fprintf(stderr, "click %lld\n", (long long)t);
        for (auto t : run.heardTicks) std::fprintf(stderr, "heard %lld\n", (long long)t);
    }
    std::vector<int64_t> delays;
    for (size_t k = 0; k < std::min(run.clickTicks.size(), run.heardTicks.size()); ++k)
        delays.push_back(run.heardTicks[k] - run.clickTicks[k]);
    std::sort(delays.begin(), delays.end());
    const int64_t median = delays.empty() ? -1 : delays[delays.size() / 2];
    std::printf("{\"mode\":\"clicks\",\"direct\":%s,\"clicks\":%zu,\"heard\":%zu,\"minFrames\":%lld,"
                "\"medianFrames\":%lld,\"maxFrames\":%lld,\"medianMS\":%.2f}\n",
                direct ? "true" : "false", run.clickTicks.size(), run.heardTicks.size(),
                delays.empty() ? -1LL : (long long)delays.front(), (long long)median,
                delays.empty() ? -1LL : (long long)delays.back(), double(median) * 1000.0 / rate);
    return 0;
}
