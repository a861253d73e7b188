// Output devices vanishing under the running path: a cycle in progress never meets buffers that
// were taken away, and the sound goes on on the next device.
#include "ChainFilter.h"
#include "GraphPath.h"
#include "HeadlessServer.h"
#include "PipeWireContext.h"
#include "SoundCheck.h"
#include "ToolProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>

using namespace quorel::pipewire;
using quorel::test::HeadlessServer;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;

namespace {

QString run(const QString& program, const QStringList& arguments, bool* ok = nullptr)
{
    return HeadlessServer::run(program, arguments, ok);
}

template <typename Condition>
bool waitUntil(Condition condition, int timeoutMS = 10000)
{
    for (int waited = 0; waited < timeoutMS; waited += 10) {
        if (condition()) return true;
        QThread::msleep(10);
    }
    return condition();
}

// Keeps writing its outputs for most of a 1024-frame cycle, so that a device taken away meets a
// cycle in progress far more often than the real chain would let it.
void slowWriter(void*, const float* const*, uint32_t, float* const* output, uint32_t outputChannels, uint32_t frames, bool)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(15);
    float value = 0.25f;
    do {
        for (uint32_t c = 0; c < outputChannels; ++c)
            for (uint32_t i = 0; i < frames; ++i) output[c][i] = value;
        value = -value;
    } while (std::chrono::steady_clock::now() < until);
}

bool hasPlaybackPorts(PipeWireContext& context, const std::string& name)
{
    const auto node = context.nodeNamed(name);
    return node && GraphPath::playbackPorts(context.ports(node->id)).size() == 2;
}

}  // namespace

TEST(UnplugE2E, FiftyDevicesVanishingUnderARunningCycleNeverReachIt)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    GraphPath::Options options;
    options.sinkName = "local.quorel.aggregate.UNPLUG";
    options.description = "Quorel";
    options.latencyFrames = 1024;
    auto path = GraphPath::create(*context, options, error);
    ASSERT_TRUE(path) << error;
    path->filter().setProcessor(&slowWriter, nullptr, 2);
    ASSERT_EQ(path->filter().setActive(true), 0);

    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 120.0, -20));
    QProcess player;  // into our sink: its input ports carry sound too
    player.start("pw-play", {"--target", QString::fromStdString(options.sinkName), tone});
    ASSERT_TRUE(player.waitForStarted());

    for (int round = 0; round < 50; ++round) {
        const std::string name = "test_unplugged_" + std::to_string(round);
        bool ok = false;
        run("pw-cli", {"create-node", "adapter",
                       QString("{ factory.name=support.null-audio-sink node.name=%1 media.class=Audio/Sink "
                               "object.linger=true audio.position=[FL FR] }")
                           .arg(QString::fromStdString(name))},
            &ok);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(waitUntil([&] { return hasPlaybackPorts(*context, name); })) << name;
        ASSERT_EQ(path->connectOutput(name), 0) << name;
        QProcess recorder;  // on the device's monitor, as a user's recorder would be
        recorder.start("parecord", {"--device=" + QString::fromStdString(name) + ".monitor", "/dev/null"});
        ASSERT_TRUE(recorder.waitForStarted());
        const uint64_t cycles = path->filter().cycles();
        ASSERT_TRUE(waitUntil([&] { return path->filter().cycles() >= cycles + 3; })) << name;
        // At a different moment of the cycle each round.
        QThread::usleep(unsigned(round * 397 % 21000));
        run("pw-cli", {"destroy", QString::fromStdString(name)}, &ok);
        ASSERT_TRUE(ok) << name;
        ASSERT_TRUE(waitUntil([&] { return !context->nodeNamed(name); })) << name;
        recorder.kill();
        recorder.waitForFinished(5000);
    }

    // The next device gets the sound.
    ASSERT_EQ(path->connectOutput("test_speakers"), 0);
    const auto speakers = context->nodeNamed("test_speakers");
    ASSERT_TRUE(speakers);
    EXPECT_TRUE(context->isLinked(path->filter().outputPort(0), GraphPath::playbackPorts(context->ports(speakers->id))[0]));
    const uint64_t cycles = path->filter().cycles();
    EXPECT_TRUE(waitUntil([&] { return path->filter().cycles() >= cycles + 10; }));
    EXPECT_GT(SoundCheck::heardLevel("test_speakers", dir.path()), -20.0);

    player.kill();
    player.waitForFinished(5000);
    path->filter().setActive(false);
    context->flushRealtime();
}

// The application's controller (quorel-tool system) follows its output to a new device fifty
// times in a row, and each one is unplugged while a player plays through Quorel and a recorder
// records the device's monitor: it never crashes, and the sound goes on on the device left. Each
// removal ends a path and starts the next while the server takes the old device's buffers away.
// An earlier build crashed here with SIGBUS at quantum 1024 in every run (a cycle writing silence
// into an output whose buffers had gone), which driving the path directly, above, never showed.
TEST(UnplugE2E, TheControllerOutlivesFiftyOutputsUnpluggedInARow)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ToolProcess tool;
    tool.start({"system", "--seconds", "600", "--no-prime"});
    QString status;  // the last one told, for a failure's message
    auto activeOn = [&status](const QString& device) {
        return [&status, device](const QJsonObject& o) {
            if (o.contains("status")) status = o.value("status").toString();
            return o.value("isActive").toBool() && o.value("device").toString() == device;
        };
    };
    ASSERT_TRUE(tool.waitForLine(activeOn("Test speakers"), 20000)) << tool.errorText().toStdString();
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 240.0, -20));
    QProcess player;  // into the default sink: ours
    player.start("pw-play", {tone});
    ASSERT_TRUE(player.waitForStarted());

    for (int round = 0; round < 50; ++round) {
        const QString name = QString("test_unplugged_%1").arg(round);
        const QString description = QString("Unplugged %1").arg(round);
        bool ok = false;
        run("pw-cli", {"create-node", "adapter",
                       QString("{ factory.name=support.null-audio-sink node.name=%1 node.description=\"%2\" "
                               "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }")
                           .arg(name, description)},
            &ok);
        ASSERT_TRUE(ok) << name.toStdString();
        ASSERT_TRUE(waitUntil([&] { return run("pactl", {"list", "short", "sinks"}).contains(name); }))
            << name.toStdString();
        // A default chosen while the controller starts again after the last removal, between
        // finding its device and taking the default over, is not followed yet: set it again, as a
        // user would.
        bool followed = false;
        for (int attempt = 0; attempt < 3 && !followed; ++attempt) {
            run("pactl", {"set-default-sink", name});
            followed = tool.waitForLine(activeOn(description), 10000).has_value();
        }
        ASSERT_TRUE(followed) << "round " << round << ": " << status.toStdString() << " "
                              << tool.errorText().toStdString();
        QProcess recorder;
        recorder.start("parecord", {"--device=" + name + ".monitor", "/dev/null"});
        ASSERT_TRUE(recorder.waitForStarted());
        // At a different moment of the cycle each round.
        QThread::usleep(unsigned(1000000 + round * 397 % 21000));
        run("pw-cli", {"destroy", name}, &ok);
        ASSERT_TRUE(ok) << name.toStdString();
        QThread::msleep(500);
        recorder.kill();
        recorder.waitForFinished(5000);
        ASSERT_EQ(tool.process().state(), QProcess::Running)
            << "quorel-tool ended at round " << round
            << (tool.process().exitStatus() == QProcess::CrashExit ? ", killed by a signal" : "");
    }

    // The device left gets the sound.
    ASSERT_TRUE(tool.waitForLine(activeOn("Test speakers"), 20000)) << tool.errorText().toStdString();
    QThread::msleep(1000);
    EXPECT_GT(SoundCheck::heardLevel("test_speakers", dir.path()), -40.0);

    player.kill();
    player.waitForFinished(5000);
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
}
