#include "DevicesE2ETest.h"

#include "PulseClient.h"
#include "PulseDevices.h"
#include "SystemVolumeController.h"
#include "ToolRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::runTool;
using quorel::test::ToolRun;
using quorel::test::waitUntil;

namespace {
// The raw channel volumes pactl reports for a sink, in channel order.
std::vector<int> channelVolumes(const QString& output)
{
    std::vector<int> values;
    static const QRegularExpression pattern(R"([a-z-]+: (\d+) /)");
    for (auto it = pattern.globalMatch(output); it.hasNext();) values.push_back(it.next().captured(1).toInt());
    return values;
}

}  // namespace

TEST_F(DevicesE2ETest, VolumeAndMuteSetThroughTheControllerAreSeenByPactl)
{
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    ASSERT_TRUE(controller.supportsVolume());
    ASSERT_TRUE(controller.supportsMute());
    EXPECT_EQ(controller.deviceName(), "Test speakers");

    controller.set(0.5f);
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_speakers"})), (std::vector<int>{32768, 32768}));
    controller.setMuted(true);
    EXPECT_EQ(pactl({"get-sink-mute", "test_speakers"}), "Mute: yes");
    EXPECT_TRUE(controller.isMuted());

    controller.set(0.0f);  // silence does not unmute
    EXPECT_EQ(pactl({"get-sink-mute", "test_speakers"}), "Mute: yes");
    controller.set(0.25f);  // a louder setting does
    EXPECT_EQ(pactl({"get-sink-mute", "test_speakers"}), "Mute: no");
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_speakers"})), (std::vector<int>{16384, 16384}));
    EXPECT_FALSE(controller.isMuted());
    EXPECT_EQ(controller.failure(), std::nullopt);

    controller.set(1.7f);
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_speakers"})), (std::vector<int>{65536, 65536}));
    EXPECT_FLOAT_EQ(controller.volume(), 1.0f);
}

TEST_F(DevicesE2ETest, ASurroundSinkKeepsItsBalance)
{
    addSink("test_surround", "Surround", 6);
    letRun("test_surround");
    pactl({"set-sink-volume", "test_surround", "100%", "50%", "100%", "100%", "50%", "50%"});
    ASSERT_TRUE(waitUntil([&] {
        PulseSnapshot snapshot;
        const PulseSink* sink = PulseClient::shared().read(snapshot) ? nullptr : snapshot.sink("test_surround");
        return sink && sink->volume.values[1] == PA_VOLUME_NORM / 2;
    }));
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    controller.follow(QString("test_surround"));
    ASSERT_EQ(controller.device(), idOf("test_surround"));
    controller.set(0.5f);
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_surround"})),
              (std::vector<int>{32768, 16384, 32768, 32768, 16384, 16384}));
}

TEST_F(DevicesE2ETest, TheToolSetsVolumeAndMute)
{
    const ToolRun run = runTool({"volume", "--set", "0.3", "--mute", "on"}, QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(run.exitCode, 0) << run.errors().toStdString();
    EXPECT_EQ(run.json()["volume"].toDouble(), 0.3);
    EXPECT_TRUE(run.json()["isMuted"].toBool());
    EXPECT_EQ(run.json()["deviceName"].toString(), "Test speakers");
    EXPECT_TRUE(run.json()["failure"].isNull());
    EXPECT_EQ(pactl({"get-sink-mute", "test_speakers"}), "Mute: yes");
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_speakers"})), (std::vector<int>{19661, 19661}));
}

TEST_F(DevicesE2ETest, WithoutARunningServerTheToolGivesTheMessage)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_SERVER", "unix:/nonexistent/quorel-e2e/native");
    const ToolRun volume = runTool({"volume"}, environment);
    EXPECT_EQ(volume.exitCode, 1);
    EXPECT_EQ(volume.errors(), "The sound server is not running.");
    EXPECT_EQ(volume.json()["failure"].toString(), "The sound server is not running.");
    EXPECT_FALSE(volume.json()["supportsVolume"].toBool());

    const ToolRun devices = runTool({"devices"}, environment);
    EXPECT_EQ(devices.exitCode, 1);
    EXPECT_EQ(devices.errors(), "The sound server is not running.");
}

TEST_F(DevicesE2ETest, AnUnpluggedChosenDeviceHandsTheVolumeToTheDefaultOutput)
{
    addSink("usb_headset", "USB Headset");
    pactl({"set-sink-volume", "usb_headset", "97%"});
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    controller.follow(QString("usb_headset"));
    ASSERT_EQ(controller.device(), idOf("usb_headset"));
    EXPECT_EQ(controller.deviceName(), "USB Headset");

    // Unplugged: the control follows the device that now plays, and moves its volume.
    removeSink("usb_headset");
    ASSERT_TRUE(waitUntil([&] { return controller.device() == idOf("test_speakers"); }));
    EXPECT_EQ(controller.deviceName(), "Test speakers");
    EXPECT_TRUE(controller.supportsVolume());
    controller.set(0.5f);
    EXPECT_EQ(channelVolumes(pactl({"get-sink-volume", "test_speakers"})), (std::vector<int>{32768, 32768}));
    EXPECT_EQ(controller.preferredUID(), std::optional<QString>("usb_headset"));

    // Plugged in again: followed again.
    addSink("usb_headset", "USB Headset");
    ASSERT_TRUE(waitUntil([&] { return controller.device() == idOf("usb_headset"); }));
    EXPECT_EQ(controller.deviceName(), "USB Headset");
}
