// The live path when the sound server changes under it: real-time priority, the cycle size that
// runs, stalls, a restarted pulse layer, a vanished output, a second process asking for the
// default, the sound server itself going away, and one that comes up only after processing was
// switched on.
#include "HeadlessServer.h"
#include "SoundCheck.h"
#include "TestSupport.h"
#include "ToolProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::ToolProcess;
using quorel::test::waitUntil;

namespace {

bool hasKey(const QJsonObject& o, const char* key) { return o.contains(QLatin1String(key)); }
bool isInfo(const QJsonObject& o) { return hasKey(o, "info"); }
bool isFinal(const QJsonObject& o) { return o.value("final").toBool(); }
bool isDeviceChange(const QJsonObject& o) { return o.value("event") == "defaultDeviceChange"; }

// A quiet tone played into the default sink: the graph runs only while something plays.
class TonePlayer {
public:
    explicit TonePlayer(double seconds)
    {
        const QString path = dir_.filePath("tone.wav");
        quorel::test::SoundCheck::writeTone(path, seconds, -30);
        process_.start("pw-play", {path});
        process_.waitForStarted();
    }
    ~TonePlayer()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
};

QString defaultSink() { return run("pactl", {"get-default-sink"}); }
bool sinkListed(const QString& prefix) { return run("pactl", {"list", "short", "sinks"}).contains(prefix); }

bool createSink(const QString& name, const QString& description)
{
    bool ok = false;
    run("pw-cli",
        {"create-node", "adapter",
         QString("{ factory.name=support.null-audio-sink node.name=%1 node.description=\"%2\" "
                 "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }")
             .arg(name, description)},
        &ok);
    return ok && waitUntil([&] { return sinkListed(name); });
}

// Stops the whole sound server of the headless folder (its session bus stays): pipewire-pulse,
// WirePlumber and PipeWire, each waited for.
bool stopSoundServer()
{
    for (const QString& command : {QString("pipewire-pulse"), QString("wireplumber"), QString("pipewire")}) {
        const qint64 pid = HeadlessServer::processPid(command);
        if (pid <= 0 || ::kill(pid_t(pid), SIGTERM) != 0) return false;
        if (!waitUntil([&] { return !QFile::exists("/proc/" + QString::number(pid)); })) return false;
    }
    return true;
}

// Starts it again as systemd would, with its stand-in speaker as the default; true once the
// speaker is there.
bool startSoundServer()
{
    if (!HeadlessServer::startAgainWithTheSpeaker()) return false;
    run("pactl", {"set-default-sink", "test_speakers"});
    return true;
}

class LiveE2E : public testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<HeadlessServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString();
        ASSERT_TRUE(waitUntil([] { return defaultSink() == "test_speakers"; }));
    }

    void TearDown() override
    {
        run("pw-metadata", {"-n", "settings", "0", "clock.force-quantum", "1024"});
        run("pactl", {"set-default-sink", "test_speakers"});
        waitUntil([] { return defaultSink() == "test_speakers"; });
    }

    static std::unique_ptr<HeadlessServer> server_;
};

std::unique_ptr<HeadlessServer> LiveE2E::server_;

}  // namespace

TEST_F(LiveE2E, TheDataThreadRunsRealtimeAndInfoSaysSo)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "3"});
    const auto info = tool.waitForLine(isInfo);
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_TRUE(info->value("info")["realtime"].toBool());
    // Some thread of the tool runs with a real-time class (FF), as pw-play's data thread does.
    const QString threads = run("ps", {"-L", "-o", "cls=", "-p", QString::number(tool.process().processId())});
    EXPECT_TRUE(threads.contains("FF")) << threads.toStdString();
    EXPECT_EQ(tool.finish(), 0);
    EXPECT_FALSE(tool.errorText().contains("real-time")) << tool.errorText().toStdString();
}

TEST_F(LiveE2E, RealtimeRefusedStillProcessesAndSaysSoOnce)
{
    // Without the right to raise a thread's priority (and no RTKit on the private bus).
    QProcess tool;
    tool.start("setpriv", {"--bounding-set=-sys_nice", "--", ToolProcess::program(), "capture", "--seconds", "3"});
    QThread::msleep(500);
    TonePlayer player(4);
    ASSERT_TRUE(tool.waitForFinished(30000));
    const QByteArray output = tool.readAllStandardOutput();
    const QString errors = QString::fromUtf8(tool.readAllStandardError());
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << errors.toStdString();
    EXPECT_EQ(tool.exitCode(), 0);
    const QList<QByteArray> lines = output.split('\n');
    ASSERT_GE(lines.size(), 3);
    const QJsonObject info = QJsonDocument::fromJson(lines.first()).object()["info"].toObject();
    EXPECT_FALSE(info["realtime"].toBool(true));
    EXPECT_EQ(errors.count("The audio thread runs without real-time priority"), 1) << errors.toStdString();
    QJsonObject last;
    for (const QByteArray& line : lines)
        if (!line.isEmpty()) last = QJsonDocument::fromJson(line).object();
    EXPECT_TRUE(last["final"].toBool()) << output.toStdString() << errors.toStdString();
    EXPECT_GT(last["stats"].toObject()["renderedSeconds"].toDouble(), 1.0);
}

TEST_F(LiveE2E, InfoShowsTheCycleSizeThatRunsNotTheOneAskedFor)
{
    run("pw-metadata", {"-n", "settings", "0", "clock.force-quantum", "8192"});
    ToolProcess tool;
    tool.start({"capture", "--seconds", "2"});
    const auto info = tool.waitForLine(isInfo);
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["bufferFrames"].toInt(), 8192);
    EXPECT_NEAR(info->value("info")["bufferMS"].toDouble(), 170.667, 0.01);
    const auto last = tool.waitForLine(isFinal);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->value("stats")["oversizedBuffers"].toInt(), 0);
    EXPECT_EQ(tool.finish(), 0);
}

TEST_F(LiveE2E, AStalledGraphIsCountedAsDropouts)
{
    const qint64 pipewire = HeadlessServer::processPid("pipewire");
    ASSERT_GT(pipewire, 0);
    ToolProcess tool;
    tool.start({"capture", "--seconds", "6"});
    ASSERT_TRUE(tool.waitForLine(isInfo)) << tool.errorText().toStdString();
    // A stall is counted while a source runs.
    TonePlayer player(8);
    QThread::msleep(1000);
    // The graph's driver stops for a second.
    ASSERT_EQ(::kill(pid_t(pipewire), SIGSTOP), 0);
    QThread::msleep(1000);
    ::kill(pid_t(pipewire), SIGCONT);
    const auto last = tool.waitForLine(isFinal, 20000);
    ASSERT_TRUE(last);
    EXPECT_EQ(tool.finish(), 0);
    // About 47 cycles of 1024 frames never came.
    EXPECT_GE(last->value("stats")["overloads"].toInt(), 20) << QJsonDocument(*last).toJson().toStdString();
}

TEST_F(LiveE2E, RestartingThePulseLayerIsNoDeviceChange)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60"});
    ASSERT_TRUE(tool.waitForLine(isInfo)) << tool.errorText().toStdString();
    const qint64 pulse = HeadlessServer::processPid("pipewire-pulse");
    ASSERT_GT(pulse, 0);
    ASSERT_EQ(::kill(pid_t(pulse), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists("/proc/" + QString::number(pulse)); }));
    ASSERT_GT(HeadlessServer::startProcess("pipewire-pulse"), 0);
    ASSERT_TRUE(waitUntil([] { return sinkListed("test_speakers"); }, 20000));
    // Time for the tool's client to reconnect (once a second) and compare.
    QThread::msleep(3000);
    ::kill(pid_t(tool.process().processId()), SIGINT);
    int changes = 0;
    ASSERT_TRUE(tool.waitForLine([&](const QJsonObject& o) {
        changes += isDeviceChange(o) ? 1 : 0;
        return isFinal(o);
    }));
    EXPECT_EQ(tool.finish(), 0) << tool.errorText().toStdString();
    EXPECT_EQ(changes, 0);
}

TEST_F(LiveE2E, TheOutputVanishingWhileProcessingGivesTheDefaultBackAndFails)
{
    ASSERT_TRUE(createSink("test_gone", "Vanishing speakers"));
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60", "--output", "test_gone"});
    const auto info = tool.waitForLine(isInfo);
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["deviceName"].toString(), "Vanishing speakers");
    ASSERT_TRUE(defaultSink().startsWith("local.quorel.aggregate."));

    bool ok = false;
    run("pw-cli", {"destroy", "test_gone"}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(tool.finish(10000), 1);
    EXPECT_EQ(tool.errorText(), "The output device is no longer available.");
    EXPECT_EQ(defaultSink(), "test_speakers");
    EXPECT_FALSE(sinkListed("local.quorel.aggregate"));
}

TEST_F(LiveE2E, ASecondProcessNamesTheDefaultThatProcessingReplaced)
{
    // The replaced default is not the server's first sink.
    ASSERT_TRUE(createSink("test_second", "Second speakers"));
    run("pactl", {"set-default-sink", "test_second"});
    ASSERT_TRUE(waitUntil([] { return defaultSink() == "test_second"; }));
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60"});
    ASSERT_TRUE(tool.waitForLine(isInfo)) << tool.errorText().toStdString();
    ASSERT_TRUE(defaultSink().startsWith("local.quorel.aggregate."));

    QProcess devices;
    devices.start(ToolProcess::program(), {"devices"});
    ASSERT_TRUE(devices.waitForFinished(20000));
    EXPECT_EQ(devices.exitCode(), 0) << devices.readAllStandardError().toStdString();
    QString named;
    for (const QJsonValue& device : QJsonDocument::fromJson(devices.readAllStandardOutput()).array())
        if (device["isDefault"].toBool()) named += device["uid"].toString();
    EXPECT_EQ(named, "test_second");

    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    EXPECT_EQ(defaultSink(), "test_second");
    run("pw-cli", {"destroy", "test_second"});
}

// Last: it ends the server.
TEST_F(LiveE2E, TheSoundServerGoingAwayEndsCaptureWithAnError)
{
    const qint64 pipewire = HeadlessServer::processPid("pipewire");
    ASSERT_GT(pipewire, 0);
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60"});
    ASSERT_TRUE(tool.waitForLine(isInfo)) << tool.errorText().toStdString();
    ASSERT_EQ(::kill(pid_t(pipewire), SIGKILL), 0);
    EXPECT_EQ(tool.finish(10000), 1);
    EXPECT_EQ(tool.errorText(), "The connection to the sound server was lost.");
}

// The whole sound server restarted under running processing (what "Restart audio service", a
// crash or an update does): the engine controller reconnects, counted, and processing comes back
// by itself once the server answers again, the stored choice being on; standard error says why.
TEST(SoundServerRestart, ProcessingComesBackByItself)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ToolProcess tool;
    tool.start({"system", "--seconds", "60", "--no-prime"});
    const auto isActive = [](const QJsonObject& o) { return o.value("isActive").toBool(); };
    ASSERT_TRUE(tool.waitForLine(isActive, 20000)) << tool.errorText().toStdString();

    ASSERT_TRUE(stopSoundServer());
    ASSERT_TRUE(tool.waitForLine(
        [](const QJsonObject& o) { return o.value("status") == "Audio stopped flowing; reconnecting (1 of 3)."; }));
    QThread::msleep(5000);  // longer than the reconnections take

    ASSERT_TRUE(startSoundServer());
    QElapsedTimer back;
    back.start();

    const auto resumed = tool.waitForLine(isActive, 20000);
    ASSERT_TRUE(resumed) << tool.errorText().toStdString();
    std::fprintf(stderr, "processing came back %.1f s after the server answered again\n", back.elapsed() / 1000.0);
    EXPECT_EQ(resumed->value("status").toString(), "Processing system audio on Test speakers.");
    EXPECT_TRUE(resumed->value("error").isNull());
    EXPECT_TRUE(waitUntil([] { return defaultSink().startsWith("local.quorel.aggregate."); }))
        << "the default is " << defaultSink().toStdString() << "; the tool said:\n"
        << tool.errorText().toStdString();
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    const QString errors = tool.errorText();
    EXPECT_TRUE(errors.contains("The connection to the sound server was lost.")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("the sound server answers again; processing resumes.")) << errors.toStdString();
}

// Started before the sound server (at login the session may run Quorel before PipeWire is up):
// processing waits for the server, the stored choice being on, and starts within moments of the
// server answering; standard error says why.
TEST(SoundServerLate, ProcessingStartsOnceTheServerAnswers)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(stopSoundServer());
    ASSERT_FALSE(QFile::exists(server.directory() + "/pipewire-0"));

    ToolProcess tool;
    tool.start({"system", "--seconds", "60", "--no-prime"});
    // What the start came to.
    const auto outcome = tool.waitForLine(
        [](const QJsonObject& o) {
            const QString status = o.value("status").toString();
            return !status.startsWith("Off.") && !status.startsWith(QString::fromUtf8("Starting…"));
        },
        20000);
    ASSERT_TRUE(outcome) << tool.errorText().toStdString();
    EXPECT_EQ(outcome->value("status").toString(),
              "Waiting for the sound server (PipeWire); processing starts once it answers.");
    EXPECT_FALSE(outcome->value("isActive").toBool());
    EXPECT_TRUE(outcome->value("error").isNull()) << outcome->value("error").toString().toStdString();
    QThread::msleep(3000);  // the server comes some seconds later

    ASSERT_TRUE(startSoundServer());
    QElapsedTimer answered;
    answered.start();
    const auto isActive = [](const QJsonObject& o) { return o.value("isActive").toBool(); };
    const auto started = tool.waitForLine(isActive, 8000);
    ASSERT_TRUE(started) << tool.errorText().toStdString();
    std::fprintf(stderr, "processing started %.1f s after the server answered\n", answered.elapsed() / 1000.0);
    EXPECT_EQ(started->value("status").toString(), "Processing system audio on Test speakers.");
    EXPECT_TRUE(waitUntil([] { return defaultSink().startsWith("local.quorel.aggregate."); }, 5000));
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0);
    const QString errors = tool.errorText();
    EXPECT_TRUE(errors.contains("could not enable processing: The sound server is not running."))
        << errors.toStdString();
    EXPECT_TRUE(errors.contains("the sound server answers again; processing resumes.")) << errors.toStdString();
}

TEST(HeadlessServerScript, AFailedStartLeavesNoProcessAndNoFolder)
{
    // A stand-in speaker that cannot be made: pw-cli fails after the bus, pipewire, wireplumber
    // and pipewire-pulse were started.
    QTemporaryDir temporary;
    ASSERT_TRUE(QDir().mkpath(temporary.filePath("bin")));
    QFile fake(temporary.filePath("bin/pw-cli"));
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\nexit 1\n");
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(QDir().mkpath(temporary.filePath("tmp")));

    for (const QString& command : {QString("start"), QString("run")}) {
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", temporary.filePath("bin") + ":" + environment.value("PATH"));
        environment.insert("TMPDIR", temporary.filePath("tmp"));
        script.setProcessEnvironment(environment);
        QStringList arguments{command};
        if (command == "run") arguments << "true";
        script.start(QString(QUOREL_SOURCE_DIR) + "/scripts/pipewire-headless", arguments);
        ASSERT_TRUE(script.waitForFinished(120000));
        EXPECT_EQ(script.exitCode(), 1) << command.toStdString();
        EXPECT_TRUE(script.readAllStandardError().contains("could not create the stand-in speaker"));
        // No folder left, and no process left that was started in one.
        EXPECT_TRUE(QDir(temporary.filePath("tmp")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot))
            << command.toStdString();
        const QByteArray marker = temporary.filePath("tmp").toUtf8();
        for (const QString& pid : QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs)) {
            QFile environ("/proc/" + pid + "/environ");
            if (environ.open(QIODevice::ReadOnly)) {
                EXPECT_FALSE(environ.readAll().contains(marker)) << "process " << pid.toStdString() << " left";
            }
        }
    }
}
