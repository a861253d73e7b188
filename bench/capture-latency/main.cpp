// Plays into the server's default sink (or straight to the stand-in speaker with --direct) and
// records the speaker's monitor in the same graph, then reports either the delay of clicks
// (--clicks N) or the blocks of a continuous tone that fell out (--tone SECONDS), as one JSON
// object. Positions come from the graph clock of each cycle, so the figure is exact to the frame.
// --split plays the clicks twice at the same moment of the graph clock: on the left channel into
// the default sink, on the right channel straight to the speaker, and hears both in one recording
// of the speaker's monitor; the difference of the two delays is what the default sink's path adds,
// whichever node drives the graph and however late the monitor itself is.
// --speaker NAME records and plays straight to that device instead of the stand-in speaker.
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
    // --split: the clicks heard on the right channel (played straight to the speaker).
    bool split = false;
    std::vector<int64_t> heardRightTicks;
    int64_t lastHeardRight = -1000000000;
};

// --split: one of the two players, clicking on one channel at the same graph-clock positions as
// the other (positions of the cycle plus the offset in it).
struct SplitPlayer {
    Run* run = nullptr;
    pw_stream* stream = nullptr;
    uint32_t channel = 0;
    std::atomic<spa_io_position*> position{nullptr};
    std::vector<int64_t> clickTicks;
    std::atomic<bool> done{false};
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

// The next buffer of a playback stream and how many frames to write into it this cycle; a null
// buffer when the stream has none ready.
struct PlaybackBuffer {
    pw_buffer* buffer = nullptr;
    float* out = nullptr;
    uint32_t frames = 0;
};

PlaybackBuffer dequeuePlayback(pw_stream* stream)
{
    pw_buffer* b = pw_stream_dequeue_buffer(stream);
    if (!b) return {};
    spa_data& d = b->buffer->datas[0];
    uint32_t frames = d.maxsize / (channels * sizeof(float));
    if (b->requested) frames = std::min(frames, uint32_t(b->requested));
    return {b, static_cast<float*>(d.data), frames};
}

// Hands the buffer back with its `frames` interleaved frames written.
void queuePlayback(pw_stream* stream, const PlaybackBuffer& playback)
{
    spa_data& d = playback.buffer->buffer->datas[0];
    d.chunk->offset = 0;
    d.chunk->stride = channels * sizeof(float);
    d.chunk->size = playback.frames * channels * sizeof(float);
    pw_stream_queue_buffer(stream, playback.buffer);
}

void onPlayback(void* data)
{
    auto* run = static_cast<Run*>(data);
    const PlaybackBuffer playback = dequeuePlayback(run->playback);
    if (!playback.buffer) return;
    float* out = playback.out;
    const uint32_t frames = playback.frames;
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
    if (run->tone ? run->written > toneFrames + rate
                  : run->clickTicks.size() >= run->clicks && run->written % run->period < frames)
        run->done.store(true);
    queuePlayback(run->playback, playback);
}

void onSplitPlayback(void* data)
{
    auto* player = static_cast<SplitPlayer*>(data);
    Run* run = player->run;
    const PlaybackBuffer playback = dequeuePlayback(player->stream);
    if (!playback.buffer) return;
    float* out = playback.out;
    const uint32_t frames = playback.frames;
    const spa_io_position* position = player->position.load(std::memory_order_acquire);
    std::fill_n(out, size_t(frames) * channels, 0.0f);
    // Without the graph clock both players cannot agree on a moment: play silence.
    if (position) {
        const auto ticks = int64_t(position->clock.position);
        for (uint32_t i = 0; i < frames; ++i) {
            // The first click a second into the run, so both players are linked by then.
            const int64_t t = ticks + i;
            if (t % run->period == run->period / 2 && player->clickTicks.size() < run->clicks
                && (player->clickTicks.empty() ? t > int64_t(rate) * 2 : true)) {
                out[i * channels + player->channel] = 0.5f;
                player->clickTicks.push_back(t);
            }
        }
    }
    if (player->clickTicks.size() >= run->clicks) player->done.store(true);
    queuePlayback(player->stream, playback);
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
        const float right = in[i * channels + 1];
        if (run->split && std::fabs(right) > 0.25f && ticks + i - run->lastHeardRight > run->period / 2) {
            run->lastHeardRight = ticks + i;
            if (run->heardRightTicks.size() < run->heardRightTicks.capacity())
                run->heardRightTicks.push_back(ticks + i);
        }
    }
    run->captured += frames;
    pw_stream_queue_buffer(run->capture, b);
}

// Connects `stream` to the default or targeted node in 32-bit float stereo at the probe's rate,
// its buffers mapped, its process callback on the real-time thread.
void connectStereo(pw_stream* stream, pw_direction direction)
{
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = rate;
    info.channels = channels;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    pw_stream_connect(
        stream, direction, PW_ID_ANY,
        pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS), params,
        1);
}

pw_stream* makeStream(pw_thread_loop* loop, pw_core* core, Run* run, bool isPlayback, const char* target,
                      spa_hook* hook)
{
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, isPlayback ? "Playback" : "Capture",
                          PW_KEY_NODE_NAME, isPlayback ? "latency-probe-out" : "latency-probe-in", nullptr);
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
    connectStereo(stream, isPlayback ? PW_DIRECTION_OUTPUT : PW_DIRECTION_INPUT);
    (void)loop;
    return stream;
}

// --split: a player on `channel`, into `target` (null = the default sink).
void connectSplitPlayer(pw_core* core, SplitPlayer& player, const char* name, const char* target, spa_hook* hook)
{
    pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                             PW_KEY_NODE_NAME, name, nullptr);
    if (target) pw_properties_set(props, PW_KEY_TARGET_OBJECT, target);
    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = &onSplitPlayback;
    events.io_changed = [](void* data, uint32_t id, void* area, uint32_t) {
        if (id == SPA_IO_Position) static_cast<SplitPlayer*>(data)->position.store(static_cast<spa_io_position*>(area));
    };
    player.stream = pw_stream_new(core, name, props);
    pw_stream_add_listener(player.stream, hook, &events, &player);
    connectStereo(player.stream, PW_DIRECTION_OUTPUT);
}

// The median delay from each click to the first one heard after it (-1: none heard).
int64_t medianDelay(const std::vector<int64_t>& clicks, const std::vector<int64_t>& heard)
{
    std::vector<int64_t> delays;
    for (const int64_t h : heard) {
        const auto after = std::upper_bound(clicks.begin(), clicks.end(), h);
        if (after != clicks.begin()) delays.push_back(h - *(after - 1));
    }
    if (delays.empty()) return -1;
    std::sort(delays.begin(), delays.end());
    return delays[delays.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    Run run;
    bool direct = false;
    std::string speaker = "test_speakers";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--direct")
            direct = true;
        else if (a == "--split")
            run.split = true;
        else if (a == "--clicks" && i + 1 < argc)
            run.clicks = uint32_t(std::stoul(argv[++i]));
        else if (a == "--tone" && i + 1 < argc)
            run.tone = true, run.toneSeconds = std::stod(argv[++i]);
        else if (a == "--speaker" && i + 1 < argc)
            speaker = argv[++i];
        else {
            std::fprintf(stderr, "usage: capture_latency [--direct | --split] [--clicks N | --tone SECONDS] "
                                 "[--speaker NAME]\n");
            return 1;
        }
    }
    run.clickTicks.reserve(run.clicks);
    run.heardTicks.reserve(run.clicks + 16);
    run.heardRightTicks.reserve(run.clicks + 16);
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
    run.capture = makeStream(loop, core, &run, false, speaker.c_str(), &captureHook);
    pw_thread_loop_unlock(loop);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (run.split) {
        SplitPlayer through, straight;
        through.run = straight.run = &run;
        straight.channel = 1;
        spa_hook throughHook{}, straightHook{};
        pw_thread_loop_lock(loop);
        connectSplitPlayer(core, through, "latency-probe-out", nullptr, &throughHook);
        connectSplitPlayer(core, straight, "latency-probe-direct", speaker.c_str(), &straightHook);
        pw_thread_loop_unlock(loop);
        for (int waited = 0; !(through.done && straight.done) && waited < int(run.clicks * 50 + 1000); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pw_thread_loop_lock(loop);
        pw_stream_destroy(through.stream);
        pw_stream_destroy(straight.stream);
        pw_stream_destroy(run.capture);
        pw_thread_loop_unlock(loop);
        pw_thread_loop_stop(loop);
        const int64_t throughFrames = medianDelay(through.clickTicks, run.heardTicks);
        const int64_t directFrames = medianDelay(straight.clickTicks, run.heardRightTicks);
        std::printf("{\"mode\":\"split\",\"clicks\":%zu,\"heardThrough\":%zu,\"heardDirect\":%zu,"
                    "\"throughFrames\":%lld,\"directFrames\":%lld,\"addedFrames\":%lld}\n",
                    through.clickTicks.size(), run.heardTicks.size(), run.heardRightTicks.size(),
                    (long long)throughFrames, (long long)directFrames,
                    throughFrames < 0 || directFrames < 0 ? -1LL : (long long)(throughFrames - directFrames));
        return 0;
    }
    pw_thread_loop_lock(loop);
    run.playback = makeStream(loop, core, &run, true, direct ? speaker.c_str() : nullptr, &playbackHook);
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
