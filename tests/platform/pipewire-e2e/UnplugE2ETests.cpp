// Output devices vanishing under the running path: a cycle in progress never meets buffers that
// were taken away, and the sound goes on on the next device.
#include "ChainFilter.h"
#include "GraphPath.h"
#include "HeadlessServer.h"
#include "PipeWireContext.h"
#include "SoundCheck.h"
#include "TestSupport.h"
#include "ToolProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>

using namespace quorel::pipewire;
using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;
using quorel::test::waitUntil;

namespace {

// Keeps writing its outputs for most of a 1024-frame cycle, so that a device taken away meets a
// cycle in progress far more often than the real chain would let it.
void slowWriter(void*, const float* const*, uint32_t, float* const* output, uint32_t outputChannels, uint32_t frames,
                bool)
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

// The server's session manager (WirePlumber) still runs: its process is there and no zombie.
bool sessionManagerRunning()
{
    const qint64 pid = HeadlessServer::sessionManagerPid();
    if (pid == 0) return false;
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = stat.readAll();
    const qsizetype end = text.lastIndexOf(')');  // the state follows the command's name
    return end > 0 && text.size() > end + 2 && text[end + 2] != 'Z';
}

// The sink the session manager gives applications, "" when none.
QString defaultSink()
{
    const QString sink = run("pactl", {"get-default-sink"});
    return sink == "@DEFAULT_SINK@" ? QString() : sink;
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
        run("pw-cli",
            {"create-node", "adapter",
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
    EXPECT_TRUE(
        context->isLinked(path->filter().outputPort(0), GraphPath::playbackPorts(context->ports(speakers->id))[0]));
    const uint64_t cycles = path->filter().cycles();
    EXPECT_TRUE(waitUntil([&] { return path->filter().cycles() >= cycles + 10; }));
    EXPECT_GT(SoundCheck::heardLevel("test_speakers", dir.path()), -20.0);

    player.kill();
    player.waitForFinished(5000);
    path->filter().setActive(false);
    context->flushRealtime();
}

// Our sink goes from the server (a user's tool removed it) while the session manager counts
// down to suspending it: WirePlumber 0.4 suspends a node idle for 5 s from a timer that outlives
// the node, and crashed when it fired for our sink that had gone, leaving the desktop without a
// default sink. Ours asks for no such timer: the session manager lives on, and the stand-in
// speaker stays the default.
TEST(UnplugE2E, OurSinkGoingWhileIdleLeavesTheSessionManagerRunning)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(sessionManagerRunning());
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    GraphPath::Options options;
    options.sinkName = "local.quorel.aggregate.IDLE";
    options.description = "Quorel";
    options.latencyFrames = 1024;
    auto path = GraphPath::create(*context, options, error);
    ASSERT_TRUE(path) << error;
    ASSERT_EQ(path->filter().setActive(true), 0);
    ASSERT_EQ(path->connectOutput("test_speakers"), 0);
    // A sound played through it, then nothing: our sink is idle.
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 0.5, -20));
    bool ok = false;
    const QString sink = QString::fromStdString(options.sinkName);
    run("pw-play", {"--target", sink, tone}, &ok);
    ASSERT_TRUE(ok);
    QString state;
    waitUntil([&] { return (state = SoundCheck::nodeState(sink)) == "idle"; }, 4000);
    EXPECT_EQ(state, "idle");
    run("pw-cli", {"destroy", sink}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(waitUntil([&] { return path->isSinkGone(); }));

    // Past the 5 s of the count.
    EXPECT_FALSE(waitUntil([] { return !sessionManagerRunning(); }, 6500)) << "WirePlumber ended";
    EXPECT_EQ(defaultSink(), "test_speakers");
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
        run("pw-cli",
            {"create-node", "adapter",
             QString("{ factory.name=support.null-audio-sink node.name=%1 node.description=\"%2\" "
                     "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }")
                 .arg(name, description)},
            &ok);
        ASSERT_TRUE(ok) << name.toStdString();
        ASSERT_TRUE(waitUntil([&] {
            return run("pactl", {"list", "short", "sinks"}).contains(name);
        })) << name.toStdString();
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
        ASSERT_TRUE(sessionManagerRunning()) << "WirePlumber ended by round " << round;
    }

    // The device left gets the sound.
    ASSERT_TRUE(tool.waitForLine(activeOn("Test speakers"), 20000)) << tool.errorText().toStdString();
    QThread::msleep(1000);
    EXPECT_GT(SoundCheck::heardLevel("test_speakers", dir.path()), -40.0);

    player.kill();
    player.waitForFinished(5000);
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    // The session manager outlived our sinks and filters made and ended along the way (it
    // suspends a node idle for 5 s, and WirePlumber 0.4 crashed when the node had gone by
    // then), and the desktop has its speaker as the default again.
    EXPECT_TRUE(sessionManagerRunning()) << "WirePlumber ended";
    EXPECT_TRUE(waitUntil([] { return defaultSink() == "test_speakers"; }, 5000)) << defaultSink().toStdString();
}
