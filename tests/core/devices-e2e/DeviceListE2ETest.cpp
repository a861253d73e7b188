#include "DevicesE2ETest.h"

#include "LocalizedMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::waitUntil;

namespace {
const QString ours = "local.quorel.aggregate.E2E00000-0000-4000-8000-000000000001";

std::optional<HAL::OutputDevice> listed(const QString& uid)
{
    for (const HAL::OutputDevice& device : HAL::outputDevices())
        if (device.uid == uid) return device;
    return std::nullopt;
}
}  // namespace

TEST_F(DevicesE2ETest, TheStandInSpeakerIsListedAsTheDefault)
{
    const std::optional<HAL::OutputDevice> speakers = listed("test_speakers");
    ASSERT_TRUE(speakers);
    EXPECT_EQ(speakers->name, "Test speakers");
    EXPECT_EQ(speakers->channels, 2);
    EXPECT_TRUE(speakers->isDefault);
    EXPECT_EQ(HAL::defaultOutputDevice(), speakers->id);
    EXPECT_EQ(HAL::name(speakers->id), "Test speakers");
    EXPECT_EQ(HAL::string(speakers->id, HAL::selector::deviceUID, HAL::scope::global), "test_speakers");
    EXPECT_EQ(HAL::channelCount(speakers->id, HAL::scope::output), 2);
    EXPECT_EQ(HAL::channelCount(speakers->id, HAL::scope::input), 0);
    EXPECT_EQ(HAL::get<double>(speakers->id, {HAL::selector::nominalSampleRate, HAL::scope::global, 0}), 48000.0);
}

TEST_F(DevicesE2ETest, TheToolListsTheDevicesAsJson)
{
    QProcess tool;
    tool.start(QStringLiteral(QUOREL_TOOL_PATH), {"devices"});
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QJsonArray devices = QJsonDocument::fromJson(tool.readAllStandardOutput()).array();
    ASSERT_FALSE(devices.isEmpty());
    bool found = false;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        if (device["uid"].toString() != "test_speakers") continue;
        found = true;
        EXPECT_EQ(device["name"].toString(), "Test speakers");
        EXPECT_EQ(device["channels"].toInt(), 2);
        EXPECT_TRUE(device["isDefault"].toBool());
        EXPECT_EQ(device["id"].toInteger(), qint64(idOf("test_speakers")));
    }
    EXPECT_TRUE(found);
}

TEST_F(DevicesE2ETest, OurVirtualSinkIsHiddenAndNeverTheDefaultOutput)
{
    addSink(ours, "Quorel");
    setServerDefault(ours);
    EXPECT_FALSE(listed(ours));
    ASSERT_TRUE(listed("test_speakers"));
    EXPECT_TRUE(listed("test_speakers")->isDefault);
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("test_speakers"));
    // It can still be looked up by its UID, for the engine that made it.
    EXPECT_NE(idOf(ours), HAL::noDevice);
}

TEST_F(DevicesE2ETest, TheDefaultOutputCanBeSet)
{
    addSink("other_speakers", "Other speakers");
    HAL::setDefaultOutputDevice("other_speakers");
    EXPECT_EQ(pactl({"get-default-sink"}), "other_speakers");
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("other_speakers"));

    HAL::set(HAL::systemObject, {HAL::selector::defaultOutputDevice, HAL::scope::global, 0},
             uint32_t(idOf("test_speakers")));
    EXPECT_EQ(pactl({"get-default-sink"}), "test_speakers");
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("test_speakers"));
}

TEST_F(DevicesE2ETest, ADeviceIsRunningWhileAStreamPlaysIntoIt)
{
    const HAL::ObjectID speakers = idOf("test_speakers");
    const HAL::PropertyAddress running{HAL::selector::runningSomewhere, HAL::scope::global, 0};
    EXPECT_EQ(HAL::get<uint32_t>(speakers, running), 0u);
    QProcess player;
    player.start("pacat", {"--playback", "--device=test_speakers", "/dev/zero"});
    ASSERT_TRUE(player.waitForStarted());
    EXPECT_TRUE(waitUntil([&] { return HAL::get<uint32_t>(speakers, running) == 1; }));
    player.kill();
    player.waitForFinished();
    EXPECT_TRUE(waitUntil([&] { return HAL::get<uint32_t>(speakers, running) == 0; }));
}

TEST_F(DevicesE2ETest, UnknownDevicesAndPropertiesGiveTheirStatus)
{
    EXPECT_EQ(HAL::device("no_such_sink"), std::nullopt);
    try {
        HAL::get<uint32_t>(0xFFFF0000u, {HAL::selector::mute, HAL::scope::output, 0});
        FAIL() << "no exception";
    } catch (const DescribedError& error) {
        EXPECT_EQ(error.description(), "Could not read audio property ('mute', '!obj').");
    }
    try {
        HAL::get<uint32_t>(idOf("test_speakers"), {HAL::selector::volume, HAL::scope::output, 0});
        FAIL() << "no exception";
    } catch (const DescribedError& error) {
        EXPECT_EQ(error.description(), "Could not read audio property ('vmvc', '!siz').");
    }
}
