// The capture engine on a real (headless) PipeWire server, driven through quorel-tool as the
// application would drive it.
#include "HeadlessServer.h"
#include "SoundCheck.h"
#include "ToolProcess.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;

namespace {

constexpr double toneDBFS = -20;               // peak
constexpr double toneRMS = toneDBFS - 3.0103;  // a sine's RMS is 3 dB below its peak

bool hasKey(const QJsonObject& o, const char* key) { return o.contains(QLatin1String(key)); }

QString defaultSink() { return run("pactl", {"get-default-sink"}); }

QString configuredDefaultSink() { return run("pw-metadata", {"-n", "default", "0", "default.configured.audio.sink"}); }

bool sinkListed(const QString& prefix) { return run("pactl", {"list", "short", "sinks"}).contains(prefix); }

// Records what the stand-in speaker plays.
class Recorder {
public:
    explicit Recorder(const QString& path)
    {
        process_.start("parecord", {"--latency-msec=20", "--device=test_speakers.monitor", "--file-format=wav",
                                    "--format=float32le", "--rate=48000", "--channels=2", path});
        process_.waitForStarted();
        QThread::msleep(300);
    }
    ~Recorder() { stop(); }
    void stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

private:
    QProcess process_;
};

// The blocks from the first one where the tone is heard, without the fade-in block.
std::vector<double> heardTone(const QString& path)
{
    auto levels = SoundCheck::blockLevels(path, 20);
    size_t first = 0;
    while (first < levels.size() && levels[first] < -45) ++first;
    if (first + 2 >= levels.size()) return {};
    return std::vector<double>(levels.begin() + long(first + 2), levels.end());
}

class CaptureE2E : public testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<HeadlessServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString();
        ASSERT_EQ(defaultSink(), "test_speakers");
    }

    QString tone(double seconds)
    {
        const QString path = dir_.filePath(QString("tone-%1.wav").arg(seconds));
        EXPECT_TRUE(SoundCheck::writeTone(path, seconds, toneDBFS));
        return path;
    }

    static std::unique_ptr<HeadlessServer> server_;
    QTemporaryDir dir_;
};

std::unique_ptr<HeadlessServer> CaptureE2E::server_;

}  // namespace

TEST_F(CaptureE2E, ATonePlayedToTheDefaultIsHeardBoostedAndContinuousThenStopRestoresTheDefault)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "5", "--settings", R"({"boostDB": 6})"});
    const auto info = tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); });
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["deviceName"].toString(), "Test speakers");
    EXPECT_TRUE(info->value("info")["capturedDeviceName"].isNull());
    EXPECT_EQ(info->value("info")["bufferFrames"].toInt(), 1024);
    EXPECT_TRUE(defaultSink().startsWith("local.quorel.aggregate."));
    EXPECT_FALSE(run("pactl", {"list", "short", "sinks"}).isEmpty());

    const QString heard = dir_.filePath("heard.wav");
    {
        Recorder recorder(heard);
        bool ok = false;
        run("pw-play", {tone(2.5)}, &ok);
        EXPECT_TRUE(ok);
        QThread::msleep(200);
    }
    const auto last = tool.waitForLine([](const QJsonObject& o) { return o.value("final").toBool(); });
    ASSERT_TRUE(last);
    EXPECT_EQ(tool.finish(), 0);
    // Dropouts are judged on what was heard (below); an application connecting or leaving may
    // cost a cycle outside the tone.
    const QJsonObject stats = last->value("stats").toObject();
    EXPECT_LE(stats["overloads"].toInt(), 1);
    EXPECT_EQ(stats["renderErrors"].toInt(), 0);
    EXPECT_EQ(stats["oversizedBuffers"].toInt(), 0);

    // Boosted by 6 dB, and only the boosted copy (the original beside it would read +9.5 dB).
    const auto levels = heardTone(heard);
    ASSERT_GT(levels.size(), 100u);
    const size_t steady = 100;  // two seconds of 20 ms blocks
    EXPECT_NEAR(SoundCheck::medianLevel(levels, 0, steady), toneRMS + 6, 0.5);
    for (size_t i = 0; i < steady; ++i) EXPECT_NEAR(levels[i], toneRMS + 6, 1.0) << "block " << i;

    // Stop gave the default back and the virtual sink is gone.
    EXPECT_EQ(defaultSink(), "test_speakers");
    EXPECT_TRUE(configuredDefaultSink().contains("test_speakers"));
    EXPECT_FALSE(sinkListed("local.quorel.aggregate"));
}

TEST_F(CaptureE2E, UnprocessedPlaysTheOriginalLevel)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "4", "--unprocessed", "--settings", R"({"boostDB": 6})"});
    ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); }))
        << tool.errorText().toStdString();
    const QString heard = dir_.filePath("unprocessed.wav");
    {
        Recorder recorder(heard);
        bool ok = false;
        run("pw-play", {tone(1.5)}, &ok);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(tool.finish(), 0);
    const auto levels = heardTone(heard);
    ASSERT_GT(levels.size(), 60u);
    EXPECT_NEAR(SoundCheck::medianLevel(levels, 0, 60), toneRMS, 0.5);
}

TEST_F(CaptureE2E, SigtermStopsCleanly)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60"});
    ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); }))
        << tool.errorText().toStdString();
    ::kill(pid_t(tool.process().processId()), SIGTERM);
    EXPECT_TRUE(tool.waitForLine([](const QJsonObject& o) { return o.value("final").toBool(); }, 5000));
    EXPECT_EQ(tool.finish(), 0);
    EXPECT_EQ(defaultSink(), "test_speakers");
    EXPECT_FALSE(sinkListed("local.quorel.aggregate"));
}

TEST_F(CaptureE2E, KillNineLeavesTheSpeakerDefaultAndTheToneUnprocessedAndTheNextStartRepairs)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60", "--settings", R"({"boostDB": 6})"});
    ASSERT_TRUE(tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); }))
        << tool.errorText().toStdString();
    const QString heard = dir_.filePath("killed.wav");
    {
        Recorder recorder(heard);
        QProcess player;
        player.start("pw-play", {tone(4)});
        ASSERT_TRUE(player.waitForStarted());
        QThread::msleep(1500);
        ::kill(pid_t(tool.process().processId()), SIGKILL);
        tool.finish();
        EXPECT_TRUE(player.waitForFinished(10000));
        EXPECT_EQ(player.exitCode(), 0);
    }
    EXPECT_EQ(defaultSink(), "test_speakers");
    EXPECT_FALSE(sinkListed("local.quorel.aggregate"));
    const auto levels = heardTone(heard);
    ASSERT_GT(levels.size(), 150u);
    // Boosted while the engine ran, then the original level, still playing.
    EXPECT_NEAR(SoundCheck::medianLevel(levels, 5, 50), toneRMS + 6, 0.5);
    EXPECT_NEAR(SoundCheck::medianLevel(levels, 110, 160), toneRMS, 0.5);

    // The crashed run left the configured default on its vanished sink; the next run gives it
    // back to the speaker it replaced.
    EXPECT_TRUE(configuredDefaultSink().contains("local.quorel.aggregate"));
    ToolProcess next;
    next.start({"capture", "--seconds", "0.5"});
    EXPECT_EQ(next.finish(), 0) << next.errorText().toStdString();
    EXPECT_TRUE(configuredDefaultSink().contains("test_speakers")) << configuredDefaultSink().toStdString();
    EXPECT_EQ(defaultSink(), "test_speakers");
}

TEST_F(CaptureE2E, TheChosenOutputVanishingAndTheDefaultChangingReachTheListeners)
{
    bool ok = false;
    run("pw-cli",
        {"create-node", "adapter",
         "{ factory.name=support.null-audio-sink node.name=test_other node.description=\"Other speakers\" "
         "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }"},
        &ok);
    ASSERT_TRUE(ok);
    for (int i = 0; i < 50 && !sinkListed("test_other"); ++i) QThread::msleep(100);

    ToolProcess tool;
    tool.start({"capture", "--seconds", "30", "--output", "test_other"});
    const auto info = tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); });
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["deviceName"].toString(), "Other speakers");
    EXPECT_EQ(info->value("info")["capturedDeviceName"].toString(), "Test speakers");

    run("pactl", {"set-default-sink", "test_other"}, &ok);
    EXPECT_TRUE(tool.waitForLine([](const QJsonObject& o) { return o.value("event") == "defaultDeviceChange"; }));

    // The output it plays to vanishing ends processing with an error.
    run("pw-cli", {"destroy", "test_other"}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(tool.finish(), 1);
    EXPECT_EQ(tool.errorText(), "The output device is no longer available.");
    // The user's choice of default stays; the next test needs the speaker back.
    run("pactl", {"set-default-sink", "test_speakers"});
    for (int i = 0; i < 50 && defaultSink() != "test_speakers"; ++i) QThread::msleep(100);
}

TEST_F(CaptureE2E, AnOutputUIDThatNamesNoDevicePlaysToTheDefault)
{
    ToolProcess tool;
    tool.start({"capture", "--seconds", "0.5", "--output", "no_such_device"});
    const auto info = tool.waitForLine([](const QJsonObject& o) { return hasKey(o, "info"); });
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["deviceName"].toString(), "Test speakers");
    EXPECT_TRUE(info->value("info")["capturedDeviceName"].isNull());
    EXPECT_EQ(tool.finish(), 0);
}

TEST_F(CaptureE2E, BadSettingsAreRefusedBeforeAnythingStarts)
{
    for (const QString& bad : {QString("{\"boostDB\": \"loud\"}"), QString("{not json"), QString("[1, 2]"),
                               QString("/no/such/settings.json")}) {
        ToolProcess tool;
        tool.start({"capture", "--seconds", "1", "--settings", bad});
        EXPECT_EQ(tool.finish(), 1) << bad.toStdString();
        EXPECT_FALSE(tool.errorText().isEmpty());
    }
    EXPECT_FALSE(sinkListed("local.quorel.aggregate"));
}

TEST(CaptureWithoutServer, ASoundServerThatIsNotRunningGivesTheReadFailure)
{
    QTemporaryDir empty;
    ToolProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR"}) environment.insert(name, empty.path());
    environment.insert("PULSE_RUNTIME_PATH", empty.path() + "/pulse");
    environment.insert("PULSE_SERVER", "unix:" + empty.path() + "/pulse/native");
    environment.insert("XDG_CONFIG_HOME", empty.path() + "/config");
    tool.process().setProcessEnvironment(environment);
    tool.start({"capture", "--seconds", "1"});
    EXPECT_EQ(tool.finish(), 1);
    EXPECT_EQ(tool.errorText(), "The sound server is not running.");
}
