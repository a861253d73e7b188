#include "AudioEngine.h"
#include "DynamicsProcessorUnit.h"
#include "EffectNode.h"
#include "EqualizerUnit.h"
#include "PCMBuffer.h"
#include "PlayerNode.h"
#include "SignalHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace quorel {
namespace {

const AudioFormat stereo = AudioFormat::standard(48000, 2);
const AudioFormat mono = AudioFormat::standard(48000, 1);

std::unique_ptr<PCMBuffer> bufferOf(const std::vector<std::vector<float>>& channels)
{
    auto b = PCMBuffer::make(AudioFormat::standard(48000, uint32_t(channels.size())), uint32_t(channels[0].size()));
    for (size_t c = 0; c < channels.size(); ++c)
        std::copy(channels[c].begin(), channels[c].end(), b->channel(uint32_t(c)));
    b->setFrameLength(uint32_t(channels[0].size()));
    return b;
}

TEST(AudioEngine, MonoPlayerReachesBothChannelsAtUnityGain)
{
    AudioEngine engine;
    ASSERT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, stereo, 4096), 0);
    PlayerNode player;
    MixerNode mixer;
    engine.attach(player);
    engine.attach(mixer);
    ASSERT_TRUE(engine.connect(player, mixer, mono));
    ASSERT_TRUE(engine.connect(mixer, engine.mainMixerNode(), stereo));
    ASSERT_TRUE(engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo));
    const std::vector<float> signal = test::sine(440, 48000, 1500, 0.7);
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(player.scheduleBuffer(*bufferOf({signal})));
    player.play();
    auto out = PCMBuffer::make(stereo, 1024);
    Status error = 0;
    std::vector<float> left, right;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(engine.renderOffline(1024, *out, error), ManualRenderingStatus::success);
        left.insert(left.end(), out->channel(0), out->channel(0) + 1024);
        right.insert(right.end(), out->channel(1), out->channel(1) + 1024);
    }
    for (size_t i = 0; i < 2048; ++i) {
        const float expected = i < signal.size() ? signal[i] : 0.0f;
        ASSERT_EQ(left[i], expected) << i;
        ASSERT_EQ(right[i], expected) << i;
    }
}

TEST(AudioEngine, SharedSourceRendersOncePerCycleAndMixerSums)
{
    AudioEngine engine;
    ASSERT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, stereo, 512), 0);
    PlayerNode player;
    MixerNode split, sum;
    EffectNode eq(std::make_unique<EqualizerUnit>(1));
    for (AudioNode* n : std::initializer_list<AudioNode*>{&player, &split, &sum, &eq}) engine.attach(*n);
    ASSERT_TRUE(engine.connect(player, split, stereo));
    ASSERT_TRUE(engine.connect(split, {{&eq, 0}, {&sum, 0}}, 0, stereo));
    ASSERT_TRUE(engine.connect(eq, sum, 0, 1, stereo));
    ASSERT_TRUE(engine.connect(sum, engine.mainMixerNode(), stereo));
    ASSERT_TRUE(engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo));
    engine.mainMixerNode().setOutputVolume(0.5f);
    ASSERT_FALSE(engine.start());
    std::vector<float> ramp(512);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 1024.0f;
    player.scheduleBuffer(*bufferOf({ramp, ramp}));
    player.play();
    auto out = PCMBuffer::make(stereo, 512);
    Status error = 0;
    ASSERT_EQ(engine.renderOffline(512, *out, error), ManualRenderingStatus::success);
    // Both paths carry the same (neutral equalizer) signal: 2x, then the 0.5 volume.
    for (size_t i = 0; i < 512; ++i) ASSERT_EQ(out->channel(1)[i], ramp[i]) << i;
}

// Nodes work in place in their source's buffers where they are its only consumer; a source
// that feeds two nodes must reach each of them untouched by the other. Here the shared source
// feeds a mixer directly and, through two equalizers in series (-6 dB each), a second bus.
TEST(AudioEngine, SharedSourceReachesEveryConsumerUntouchedByTheOthers)
{
    AudioEngine engine;
    ASSERT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, stereo, 512), 0);
    PlayerNode player;
    MixerNode split, sum;
    auto quieter = [] {
        auto unit = std::make_unique<EqualizerUnit>(1);
        unit->setParameter(EqualizerUnit::globalGainParameter, -6);
        return std::make_unique<EffectNode>(std::move(unit));
    };
    std::unique_ptr<EffectNode> first = quieter(), second = quieter();
    for (AudioNode* n : std::initializer_list<AudioNode*>{&player, &split, &sum, first.get(), second.get()})
        engine.attach(*n);
    ASSERT_TRUE(engine.connect(player, split, stereo));
    ASSERT_TRUE(engine.connect(split, {{first.get(), 0}, {&sum, 1}}, 0, stereo));
    ASSERT_TRUE(engine.connect(*first, *second, stereo));
    ASSERT_TRUE(engine.connect(*second, sum, 0, 0, stereo));
    ASSERT_TRUE(engine.connect(sum, engine.mainMixerNode(), stereo));
    ASSERT_TRUE(engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo));
    ASSERT_FALSE(engine.start());
    std::vector<float> ramp(1024);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 2048.0f;
    player.scheduleBuffer(*bufferOf({ramp, ramp}));
    player.play();
    auto out = PCMBuffer::make(stereo, 512);
    Status error = 0;
    const float g = std::pow(10.0f, -6.0f / 20);
    for (size_t block = 0; block < 2; ++block) {
        ASSERT_EQ(engine.renderOffline(512, *out, error), ManualRenderingStatus::success);
        for (size_t i = 0; i < 512; ++i) {
            const float x = ramp[block * 512 + i];
            ASSERT_FLOAT_EQ(out->channel(0)[i], x * g * g + x) << block << " " << i;
            ASSERT_FLOAT_EQ(out->channel(1)[i], x * g * g + x) << block << " " << i;
        }
    }
}

struct RealtimeFixture {
    AudioEngine engine;
    std::vector<float> left, right;
    size_t offset = 0;
    AudioBufferList list;

    explicit RealtimeFixture(size_t frames) : left(frames, 0.25f), right(frames, -0.25f)
    {
        engine.enableManualRenderingMode(ManualRenderingMode::realtime, stereo, 4096);
        engine.inputNode().setManualRenderingInputPCMFormat(stereo, [this](uint32_t f) -> const AudioBufferList* {
            const size_t r = left.size() - offset;
            if (r < 1) return nullptr;
            const uint32_t n = uint32_t(std::min<size_t>(f, r));
            list.numberBuffers = 2;
            list.buffers[0] = {1, n * 4, left.data() + offset};
            list.buffers[1] = {1, n * 4, right.data() + offset};
            offset += n;
            return &list;
        });
        engine.connect(engine.inputNode(), engine.mainMixerNode(), stereo);
        engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo);
    }
};

TEST(AudioEngine, RealtimeInputShortOfDataRendersSilenceAndSaysSo)
{
    RealtimeFixture f(300);
    ASSERT_FALSE(f.engine.start());
    auto out = PCMBuffer::make(stereo, 512);
    out->setFrameLength(256);
    Status error = 0;
    EXPECT_EQ(f.engine.renderRealtime(256, out->mutableAudioBufferList(), &error), ManualRenderingStatus::success);
    EXPECT_EQ(out->channel(1)[255], -0.25f);
    EXPECT_EQ(f.engine.renderRealtime(256, out->mutableAudioBufferList(), &error),
              ManualRenderingStatus::insufficientDataFromInputNode);
    EXPECT_EQ(out->channel(0)[43], 0.25f);
    EXPECT_EQ(out->channel(0)[44], 0.0f);
}

TEST(AudioEngine, StopWaitsForTheRenderCallInFlight)
{
    // The input block stands in for a render thread that is inside a cycle when the owner stops
    // the engine: stop() must not return before that cycle has left the graph, because the
    // owner resets and releases what the cycle uses right after.
    AudioEngine engine;
    engine.enableManualRenderingMode(ManualRenderingMode::realtime, stereo, 4096);
    std::vector<float> samples(4096, 0.5f);
    AudioBufferList list;
    std::atomic<bool> entered{false}, release{false}, inside{false};
    engine.inputNode().setManualRenderingInputPCMFormat(stereo, [&](uint32_t f) -> const AudioBufferList* {
        inside = true;
        entered = true;
        while (!release) std::this_thread::yield();
        list.numberBuffers = 2;
        list.buffers[0] = {1, f * 4, samples.data()};
        list.buffers[1] = {1, f * 4, samples.data()};
        inside = false;
        return &list;
    });
    engine.connect(engine.inputNode(), engine.mainMixerNode(), stereo);
    engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo);
    ASSERT_FALSE(engine.start());
    auto out = PCMBuffer::make(stereo, 256);
    out->setFrameLength(256);
    std::thread renderer([&] {
        Status error = 0;
        engine.renderRealtime(256, out->mutableAudioBufferList(), &error);
    });
    while (!entered) std::this_thread::yield();
    std::atomic<bool> stopped{false};
    std::thread owner([&] {
        engine.stop();
        stopped = true;
        EXPECT_FALSE(inside.load());
    });
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    EXPECT_FALSE(stopped.load());  // still waiting for the cycle
    release = true;
    owner.join();
    renderer.join();
    EXPECT_TRUE(stopped.load());
    Status error = 0;
    EXPECT_EQ(engine.renderRealtime(256, out->mutableAudioBufferList(), &error), ManualRenderingStatus::error);
}

TEST(AudioEngine, RenderRefusedWhenStoppedOrTooLong)
{
    RealtimeFixture f(10000);
    auto out = PCMBuffer::make(stereo, 4096);
    out->setFrameLength(4096);
    Status error = 0;
    EXPECT_EQ(f.engine.renderRealtime(64, out->mutableAudioBufferList(), &error), ManualRenderingStatus::error);
    ASSERT_FALSE(f.engine.start());
    auto big = PCMBuffer::make(stereo, 5000);
    big->setFrameLength(5000);
    EXPECT_EQ(f.engine.renderRealtime(4097, big->mutableAudioBufferList(), &error), ManualRenderingStatus::error);
    EXPECT_EQ(error, status::tooManyFramesToProcess);
    EXPECT_EQ(f.engine.renderRealtime(4096, out->mutableAudioBufferList(), &error), ManualRenderingStatus::success);
}

TEST(AudioEngine, PrepareRefusesAnEffectWithThreeChannels)
{
    AudioEngine engine;
    ASSERT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, stereo, 512), 0);
    PlayerNode player;
    EffectNode dyn(std::make_unique<DynamicsProcessorUnit>());
    engine.attach(player);
    engine.attach(dyn);
    const AudioFormat three = AudioFormat::standard(48000, 3);
    engine.connect(player, dyn, three);
    engine.connect(dyn, engine.mainMixerNode(), three);
    engine.connect(engine.mainMixerNode(), engine.outputNode(), stereo);
    const UnitError e = engine.prepare();
    EXPECT_EQ(e, UnitError::osStatus(status::formatNotSupported));
    EXPECT_FALSE(engine.isPrepared());
}

TEST(AudioEngine, ManualRenderingFormatMustBeFloatWithOneOrTwoChannels)
{
    AudioEngine engine;
    AudioFormat interleaved = stereo;
    interleaved.interleaved = true;
    EXPECT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, interleaved, 512),
              status::formatNotSupported);
    EXPECT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, AudioFormat::standard(48000, 3), 512),
              status::formatNotSupported);
    EXPECT_EQ(engine.enableManualRenderingMode(ManualRenderingMode::offline, stereo, 0), status::parameterError);
}

}  // namespace
}  // namespace quorel
