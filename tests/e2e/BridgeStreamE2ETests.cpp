#include "BridgeStream.h"
#include "HeadlessServer.h"
#include "PipeWireContext.h"
#include "RealtimeBridge.h"
#include "SoundCheck.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quorel::pipewire;
using quorel::test::HeadlessServer;
using quorel::test::SoundCheck;

namespace {

void doubleIt(void*, const float* input, uint32_t inputChannels, float* output, uint32_t outputChannels,
              uint32_t frames)
{
    for (uint32_t i = 0; i < frames; ++i)
        for (uint32_t c = 0; c < outputChannels; ++c)
            output[i * outputChannels + c] = input ? 2 * input[i * inputChannels + c % inputChannels] : 0;
}

template <typename Predicate>
bool waitFor(Predicate predicate, int timeoutMS = 5000)
{
    for (int waited = 0; waited < timeoutMS; waited += 20) {
        if (predicate()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return predicate();
}

}  // namespace

TEST(BridgeStreamE2E, ProcessesWhatAnApplicationPlaysIntoTheVirtualSink)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    EXPECT_EQ(context->clockRate(), 48000u);
    EXPECT_EQ(context->defaultSink(), "test_speakers");

    RealtimeBridge bridge(2, 2);
    bridge.setProcessor(&doubleIt, nullptr);
    BridgeStream::Options options;
    options.nodeName = "local.quorel.aggregate.E2E";
    options.description = "Quorel";
    options.group = "quorel.group.E2E";
    options.target = "test_speakers";
    auto sink = BridgeStream::create(*context, bridge, BridgeStream::Role::VirtualSink, options, error);
    ASSERT_TRUE(sink) << error;
    options.nodeName = "local.quorel.playback.E2E";
    auto playback = BridgeStream::create(*context, bridge, BridgeStream::Role::Playback, options, error);
    ASSERT_TRUE(playback) << error;
    ASSERT_EQ(sink->setActive(true), 0);
    ASSERT_EQ(playback->setActive(true), 0);
    ASSERT_TRUE(context->setConfiguredDefaultSink("local.quorel.aggregate.E2E"));
    ASSERT_TRUE(waitFor([&] { return context->defaultSink() == "local.quorel.aggregate.E2E"; }));
    ASSERT_TRUE(waitFor([&] { return bridge.playbackCycles() > 10 && bridge.captureCycles() > 10; }));
    EXPECT_EQ(bridge.lastPlaybackFrames(), 1024u);

    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav"), heard = dir.filePath("heard.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 3.0, -20));
    QProcess recorder;
    recorder.start("parecord", {"--latency-msec=20", "--device=test_speakers.monitor", "--file-format=wav",
                                "--format=float32le", "--rate=48000", "--channels=2", heard});
    ASSERT_TRUE(recorder.waitForStarted());
    QThread::msleep(300);
    bool ok = false;
    HeadlessServer::run("pw-play", {tone}, &ok, 20000);
    EXPECT_TRUE(ok);
    recorder.terminate();
    recorder.waitForFinished(5000);

    const auto levels = SoundCheck::blockLevels(heard, 50);
    ASSERT_GT(levels.size(), 40u);
    // -20 dBFS peak sine = -23 dBFS RMS; doubled: -17 dBFS.
    size_t first = 0;
    while (first < levels.size() && levels[first] < -40) ++first;
    ASSERT_LT(first + 50, levels.size());
    EXPECT_NEAR(SoundCheck::medianLevel(levels, first + 4, first + 50), -17.0, 0.5);
    // The level above shows no dropout; an application connecting may cost a cycle before it.
    EXPECT_LE(bridge.overloads(), 1u);

    ASSERT_TRUE(context->setConfiguredDefaultSink("test_speakers"));
    playback.reset();
    sink.reset();
    EXPECT_TRUE(waitFor([&] { return !context->nodeNamed("local.quorel.aggregate.E2E"); }));
}
