// The desktop's volume keys and sound menu while processing runs: they act on the server's
// default sink, ours, and what they set is the speaker's volume and mute, heard once, and what
// the Output page reads (quorel-tool volume: the same controller).
#include "HeadlessServer.h"
#include "SoundCheck.h"
#include "TestSupport.h"
#include "ToolProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;
using quorel::test::waitUntil;

namespace {

// 50 % on the desktop's slider is an eighth of the amplitude (the volume scale is cubic).
constexpr double halfVolumeDB = -18.06;

// The volume in percent pactl shows for a sink ("@DEFAULT_SINK@" is what the desktop acts on).
int volumePercent(const QString& sink)
{
    const auto match = QRegularExpression(R"((\d+)%)").match(run("pactl", {"get-sink-volume", sink}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool isMuted(const QString& sink) { return run("pactl", {"get-sink-mute", sink}).contains("yes"); }

// What the Output page's controller reads for the output it follows.
QJsonObject outputVolume(const QStringList& arguments = {})
{
    QProcess tool;
    tool.start(ToolProcess::program(), QStringList{"volume"} + arguments);
    if (!tool.waitForFinished(15000)) return {};
    return QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
}

// quorel-tool system: the application's controller with processing on.
class Processing {
public:
    Processing()
    {
        tool_.start({"system", "--seconds", "600", "--no-prime"});
        active_ = tool_
                      .waitForLine(
                          [](const QJsonObject& o) {
                              return o.value("isActive").toBool() && o.value("device").toString() == "Test speakers";
                          },
                          20000)
                      .has_value();
    }
    ~Processing() { stop(); }
    bool active() const { return active_; }
    QString errorText() { return tool_.errorText(); }
    // Quits as the application does.
    int stop()
    {
        if (tool_.process().state() == QProcess::NotRunning) return exit_;
        tool_.process().terminate();
        exit_ = tool_.finish();
        return exit_;
    }

private:
    ToolProcess tool_;
    bool active_ = false;
    int exit_ = -1;
};

}  // namespace

// The desktop sets 50 % and mute on the default sink, as its volume keys and sound menu do. On
// an earlier build our sink took them itself and the filter read its monitor after them: the
// sound fell by 18 dB or went silent while the speaker, and so the Output page, stayed at 100 %
// unmuted with nothing there to undo it; and the session manager stored our sink's volume under
// the application's name and gave the cut to the next start.
TEST(VolumeKeysE2E, TheDesktopsVolumeAndMuteAreTheSpeakersHeardOnceAndShownOnTheOutputPage)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 600.0, -20));

    auto processing = std::make_unique<Processing>();
    ASSERT_TRUE(processing->active()) << processing->errorText().toStdString();
    ASSERT_TRUE(run("pactl", {"get-default-sink"}).startsWith("local.quorel.aggregate."));
    QProcess player;  // into the default sink: ours
    player.start("pw-play", {tone});
    ASSERT_TRUE(player.waitForStarted());
    QThread::msleep(1000);
    const double full = SoundCheck::heardLevel("test_speakers", dir.path());
    ASSERT_GT(full, -30.0);

    // The volume keys: the speaker goes to 50 % and the sound falls once by its 18 dB.
    run("pactl", {"set-sink-volume", "@DEFAULT_SINK@", "50%"});
    EXPECT_TRUE(waitUntil([] { return volumePercent("test_speakers") == 50; }))
        << "speaker at " << volumePercent("test_speakers") << " %";
    EXPECT_EQ(volumePercent("@DEFAULT_SINK@"), 50);
    QThread::msleep(300);
    const double half = SoundCheck::heardLevel("test_speakers", dir.path());
    EXPECT_NEAR(half, full + halfVolumeDB, 1.0) << "full " << full << " dBFS";
    QJsonObject page = outputVolume();
    EXPECT_EQ(page.value("deviceName").toString(), "Test speakers");
    EXPECT_NEAR(page.value("volume").toDouble(), 0.5, 0.01);
    EXPECT_FALSE(page.value("isMuted").toBool());

    // The mute key: the speaker is muted, the page shows it.
    run("pactl", {"set-sink-mute", "@DEFAULT_SINK@", "1"});
    EXPECT_TRUE(waitUntil([] { return isMuted("test_speakers"); }));
    QThread::msleep(300);
    EXPECT_LT(SoundCheck::heardLevel("test_speakers", dir.path()), -90.0);
    EXPECT_TRUE(outputVolume().value("isMuted").toBool());

    // The page's slider (here at 50 %) unmutes: the desktop shows it, the sound is back.
    page = outputVolume({"--set", "0.5"});
    EXPECT_FALSE(page.value("isMuted").toBool());
    EXPECT_TRUE(waitUntil([] { return !isMuted("@DEFAULT_SINK@"); }));
    EXPECT_FALSE(isMuted("test_speakers"));
    QThread::msleep(300);
    EXPECT_NEAR(SoundCheck::heardLevel("test_speakers", dir.path()), half, 1.0);

    // The page's "Maximum": the desktop reads 100 % and the sound is as loud as at first.
    outputVolume({"--set", "1"});
    EXPECT_TRUE(waitUntil([] { return volumePercent("@DEFAULT_SINK@") == 100; }))
        << "desktop reads " << volumePercent("@DEFAULT_SINK@") << " %";
    QThread::msleep(300);
    EXPECT_NEAR(SoundCheck::heardLevel("test_speakers", dir.path()), full, 1.0);

    // The keys once more, then quit: the speaker keeps what they set, nothing of ours is left.
    run("pactl", {"set-sink-volume", "@DEFAULT_SINK@", "50%"});
    EXPECT_TRUE(waitUntil([] { return volumePercent("test_speakers") == 50; }));
    EXPECT_EQ(processing->stop(), 0);
    processing.reset();
    EXPECT_EQ(run("pactl", {"get-default-sink"}), "test_speakers");
    EXPECT_EQ(volumePercent("test_speakers"), 50);
    EXPECT_FALSE(isMuted("test_speakers"));
    EXPECT_FALSE(run("pactl", {"list", "short", "sinks"}).contains("local.quorel.aggregate"));

    // The next start: heard at the speaker's 50 % once, shown on our new sink; the session
    // manager gave it nothing stored.
    processing = std::make_unique<Processing>();
    ASSERT_TRUE(processing->active()) << processing->errorText().toStdString();
    EXPECT_TRUE(waitUntil([] { return volumePercent("@DEFAULT_SINK@") == 50; }))
        << "desktop reads " << volumePercent("@DEFAULT_SINK@") << " %";
    EXPECT_EQ(volumePercent("test_speakers"), 50);
    QThread::msleep(1000);
    EXPECT_NEAR(SoundCheck::heardLevel("test_speakers", dir.path()), half, 1.0);
    QFile stored(server.directory() + "/state/wireplumber/restore-stream");
    const QByteArray remembered = stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray();
    EXPECT_FALSE(remembered.contains("Audio/Sink:application.name:Quorel:")) << remembered.toStdString();

    player.kill();
    player.waitForFinished(5000);
}
