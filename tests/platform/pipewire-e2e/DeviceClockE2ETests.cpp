// The output device's clock drives the path, whatever driver priority the device names: the
// processed sound arrives only the chain's look-ahead after the same sound played straight, and a
// stopped Quorel silences only what plays through it. Also on a speaker that appears while
// processing runs and is made the default, which Quorel follows.
#include "HeadlessServer.h"
#include "SoundCheck.h"
#include "ToolProcess.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;

namespace {

bool isInfo(const QJsonObject& o) { return o.contains(QLatin1String("info")); }

// Makes the stand-in speaker anew with a driver priority, as a sound card has, and `positions`;
// 0 and stereo keep it as the server script made it (no priority).
bool giveSpeakerPriority(int priority, const QString& positions)
{
    if (priority == 0 && positions == "FL FR") return true;
    bool ok = false;
    run("pw-cli", {"destroy", "test_speakers"}, &ok);
    if (!ok) return false;
    run("pw-cli",
        {"create-node", "adapter",
         QString("{ factory.name=support.null-audio-sink node.name=test_speakers "
                 "node.description=\"Test speakers\" media.class=Audio/Sink object.linger=true "
                 "audio.position=[%2] priority.driver=%1 }")
             .arg(priority)
             .arg(positions)},
        &ok);
    if (!ok) return false;
    for (int i = 0; i < 100; ++i) {
        run("pactl", {"set-default-sink", "test_speakers"});
        if (run("pactl", {"get-default-sink"}) == "test_speakers") return true;
        QThread::msleep(100);
    }
    return false;
}

// A speaker with no driver priority that appears while processing runs and is made the default:
// Quorel follows it there. Returns the speaker's name, or an empty one when it did not come.
QString addLateSpeaker()
{
    const QString name = "late_speakers";
    bool ok = false;
    run("pw-cli",
        {"create-node", "adapter",
         QString("{ factory.name=support.null-audio-sink node.name=%1 node.description=\"Late speakers\" "
                 "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }")
             .arg(name)},
        &ok);
    if (!ok) return {};
    for (int i = 0; i < 100; ++i) {
        if (run("pactl", {"list", "short", "sinks"}).contains(name)) {
            run("pactl", {"set-default-sink", name});
            return name;
        }
        QThread::msleep(50);
    }
    return {};
}

bool isActiveOn(const QJsonObject& o, const QString& device)
{
    return o.value("isActive").toBool() && o.value("device").toString() == device;
}

struct ClockCase {
    int quantum;
    int speakerPriority;  // 0: none
    bool late = false;    // the speaker appears after processing started
    const char* positions = "FL FR";
};

std::string caseName(const testing::TestParamInfo<ClockCase>& info)
{
    return "Quantum" + std::to_string(info.param.quantum)
           + (info.param.late ? std::string("LateSpeaker") : "Priority" + std::to_string(info.param.speakerPriority))
           + (std::string(info.param.positions) == "FL FR" ? "" : "Surround");
}

}  // namespace

// One probe plays clicks into the default sink (our path) and, at the same moment of the graph
// clock, straight to the speaker, and hears both in one recording of the speaker's monitor.
class DeviceClockLatencyE2E : public testing::TestWithParam<ClockCase> {};

TEST_P(DeviceClockLatencyE2E, AddsTheLookAheadAndNoCycle)
{
    HeadlessServer server(GetParam().quantum);
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(giveSpeakerPriority(GetParam().speakerPriority, GetParam().positions));
    ToolProcess tool;
    QString speaker = "test_speakers";
    double lookAheadMS = 0;
    if (GetParam().late) {
        // The application's controller, which follows a change of output with a fresh path.
        tool.start({"system", "--seconds", "120", "--no-prime"});
        ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return isActiveOn(o, "Test speakers"); }, 20000))
            << tool.errorText().toStdString();
        speaker = addLateSpeaker();
        ASSERT_FALSE(speaker.isEmpty());
        const auto moved = tool.waitForLine([](const QJsonObject& o) { return isActiveOn(o, "Late speakers"); }, 20000);
        ASSERT_TRUE(moved) << tool.errorText().toStdString();
        lookAheadMS = moved->value("effectsLatencyMS").toDouble();
    } else {
        tool.start({"capture", "--seconds", "60"});
        const auto info = tool.waitForLine(isInfo, 20000);
        ASSERT_TRUE(info) << tool.errorText().toStdString();
        lookAheadMS = info->value("info")["effectsLatencyMS"].toDouble();
    }
    const int lookAhead = int(std::lround(lookAheadMS * 48));
    ASSERT_GT(lookAhead, 0);
    bool ok = false;
    const QString out = run(quorel::test::buildPath("tests/platform/pipewire-e2e/e2e_latency_probe"),
                            {"--split", "--clicks", "10", "--speaker", speaker}, &ok, 60000);
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    ASSERT_TRUE(ok);
    const QJsonObject result = QJsonDocument::fromJson(out.toUtf8()).object();
    // A click lost in a dropout of a busy machine leaves the median of the others.
    ASSERT_GE(result["heardThrough"].toInt(), 5) << out.toStdString();
    ASSERT_GE(result["heardDirect"].toInt(), 5) << out.toStdString();
    EXPECT_NEAR(result["addedFrames"].toInt(), lookAhead, 32) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Outputs, DeviceClockLatencyE2E,
                         testing::Values(ClockCase{1024, 0}, ClockCase{256, 0}, ClockCase{128, 0},
                                         ClockCase{1024, 1000}, ClockCase{256, 1000}, ClockCase{128, 1000},
                                         ClockCase{1024, 0, true}, ClockCase{256, 0, true},
                                         ClockCase{256, 1000, false, "FL FR FC LFE RL RR"}),
                         caseName);

// A player pinned to the speaker never passes through Quorel: stopping Quorel for three seconds
// while another player plays through it must not stop the speaker. Also on a speaker that came
// after processing started.
class DeviceClockE2E : public testing::TestWithParam<bool> {};

TEST_P(DeviceClockE2E, AStoppedQuorelLeavesAPinnedPlayerPlaying)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ToolProcess tool;
    tool.start({"system", "--seconds", "120", "--no-prime"});
    ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return isActiveOn(o, "Test speakers"); }, 20000))
        << tool.errorText().toStdString();
    QString speaker = "test_speakers";
    if (GetParam()) {
        speaker = addLateSpeaker();
        ASSERT_FALSE(speaker.isEmpty());
        ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return isActiveOn(o, "Late speakers"); }, 20000))
            << tool.errorText().toStdString();
    }
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 30.0, -20));
    QProcess pinned;
    pinned.start("pw-play", {"--target", speaker, tone});
    ASSERT_TRUE(pinned.waitForStarted());
    QProcess through;  // into the default sink: ours, so the path runs in the speaker's graph
    through.start("pw-play", {tone});
    ASSERT_TRUE(through.waitForStarted());
    QThread::msleep(1000);

    const double missing = SoundCheck::stalledSeconds(speaker, tool.process().processId(), dir.path());
    for (QProcess* player : {&pinned, &through}) {
        player->kill();
        player->waitForFinished(5000);
    }
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    ASSERT_GE(missing, 0.0);
    EXPECT_LT(missing, 1.0) << "the pinned player stalled for " << missing << " s";
}

INSTANTIATE_TEST_SUITE_P(Speakers, DeviceClockE2E, testing::Bool(), [](const testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "LateSpeaker" : "StandInSpeaker");
});
