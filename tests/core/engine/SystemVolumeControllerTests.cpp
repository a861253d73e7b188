#include "FakeAudioDevices.h"
#include "SystemVolumeController.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorel;
using quorel::test::FakeAudioDevices;

namespace {

class VolumeControllerTest : public testing::Test {
protected:
    VolumeControllerTest()
    {
        devices->devices[11] = {"headphones", "Headphones"};
        devices->devices[11].volume = 0.25f;
        devices->devices[11].muted = true;
    }

    std::unique_ptr<SystemVolumeController> make()
    {
        auto controller = std::make_unique<SystemVolumeController>(devices);
        QObject::connect(controller.get(), &SystemVolumeController::changed, [this] { ++changes; });
        return controller;
    }

    quorel::test::TemporaryHome home;  // the name of a device without one is in the saved language
    std::shared_ptr<FakeAudioDevices> devices = std::make_shared<FakeAudioDevices>();
    int changes = 0;
};

}  // namespace

TEST_F(VolumeControllerTest, FollowsTheDefaultOutputAndReadsItsVolumeAndMute)
{
    auto controller = make();
    EXPECT_EQ(controller->device(), 10u);
    EXPECT_EQ(controller->deviceName(), "Speakers");
    EXPECT_FLOAT_EQ(controller->volume(), 0.75f);
    EXPECT_FALSE(controller->isMuted());
    EXPECT_TRUE(controller->supportsVolume());
    EXPECT_TRUE(controller->supportsMute());
    EXPECT_EQ(controller->failure(), std::nullopt);
    // The default output, the device list, and the device's volume and mute.
    EXPECT_EQ(devices->listenerCount(), 4);
    EXPECT_EQ(devices->listenerCount(10, AudioDevices::Control::volume), 1);
    EXPECT_EQ(devices->listenerCount(10, AudioDevices::Control::mute), 1);
    EXPECT_TRUE(devices->log().isEmpty());  // reading writes nothing
}

TEST_F(VolumeControllerTest, SetsTheVolumeOfTheFollowedDeviceThroughTheDevices)
{
    auto controller = make();
    controller->follow(QString("headphones"));
    ASSERT_EQ(controller->device(), 11u);
    EXPECT_TRUE(controller->isMuted());

    controller->set(0.0f);  // silence does not unmute
    controller->set(0.5f);  // a louder setting does
    controller->set(1.7f);
    controller->set(std::numeric_limits<float>::quiet_NaN());
    controller->setMuted(true);
    EXPECT_EQ(devices->log(), (QStringList{"setVolume 11 0", "setVolume 11 0.5", "setMuted 11 off", "setVolume 11 1",
                                           "setVolume 11 0", "setMuted 11 on"}));
    EXPECT_FLOAT_EQ(devices->devices[11].volume, 0.0f);
    EXPECT_TRUE(devices->devices[11].muted);
    EXPECT_FLOAT_EQ(devices->devices[10].volume, 0.75f);  // the default output is left alone
    EXPECT_TRUE(controller->isMuted());
}

TEST_F(VolumeControllerTest, AChangeMadeElsewhereIsReadAndTold)
{
    auto controller = make();
    const int before = changes;
    devices->changeVolume(10, 0.4f);
    EXPECT_FLOAT_EQ(controller->volume(), 0.4f);
    devices->changeMute(10, true);
    EXPECT_TRUE(controller->isMuted());
    EXPECT_EQ(changes, before + 2);
    devices->changeVolume(10, 3.0f);  // a server past 100 % shows full
    EXPECT_FLOAT_EQ(controller->volume(), 1.0f);
    devices->changeVolume(10, std::nanf(""));
    EXPECT_FLOAT_EQ(controller->volume(), 0.0f);
}

TEST_F(VolumeControllerTest, AnUnpluggedChosenDeviceHandsOverToTheDefaultAndIsFollowedOnItsReturn)
{
    auto controller = make();
    controller->follow(QString("headphones"));
    ASSERT_EQ(controller->device(), 11u);

    const FakeAudioDevices::Device headphones = devices->devices[11];
    devices->devices.erase(11);
    devices->fire(AudioDevices::Event::deviceList);
    EXPECT_EQ(controller->device(), 10u);
    EXPECT_EQ(controller->deviceName(), "Speakers");
    EXPECT_EQ(controller->preferredUID(), std::optional<QString>("headphones"));
    // Only the followed device's listeners remain.
    EXPECT_EQ(devices->listenerCount(11, AudioDevices::Control::volume), 0);
    EXPECT_EQ(devices->listenerCount(10, AudioDevices::Control::volume), 1);
    controller->set(0.5f);
    EXPECT_FLOAT_EQ(devices->devices[10].volume, 0.5f);

    devices->devices[11] = headphones;
    devices->fire(AudioDevices::Event::deviceList);
    EXPECT_EQ(controller->device(), 11u);
    EXPECT_EQ(controller->deviceName(), "Headphones");
}

TEST_F(VolumeControllerTest, ANewDefaultOutputIsFollowedWhenNoneIsChosen)
{
    auto controller = make();
    devices->defaultDevice = 11;
    devices->fire(AudioDevices::Event::defaultOutput);
    EXPECT_EQ(controller->device(), 11u);
    EXPECT_FLOAT_EQ(controller->volume(), 0.25f);
}

TEST_F(VolumeControllerTest, WithoutADefaultOutputNothingIsWrittenAndTheFailureShows)
{
    devices->defaultDevice.reset();
    auto controller = make();
    EXPECT_EQ(controller->device(), AudioDevices::noDevice);
    EXPECT_FALSE(controller->supportsVolume());
    EXPECT_FALSE(controller->supportsMute());
    EXPECT_EQ(controller->failure(), std::optional<QString>("No default audio output."));
    controller->set(0.5f);
    controller->setMuted(true);
    EXPECT_TRUE(devices->log().isEmpty());

    // A default that appears is followed, and the failure goes.
    devices->defaultDevice = 10;
    devices->fire(AudioDevices::Event::defaultOutput);
    EXPECT_EQ(controller->device(), 10u);
    EXPECT_EQ(controller->failure(), std::nullopt);
}

TEST_F(VolumeControllerTest, AFailedWriteShowsUntilTheNextSuccess)
{
    auto controller = make();
    devices->failWrites = true;
    controller->set(0.5f);
    EXPECT_EQ(controller->failure(), std::optional<QString>("Could not write the volume."));
    EXPECT_FLOAT_EQ(controller->volume(), 0.75f);
    controller->setMuted(true);
    EXPECT_EQ(controller->failure(), std::optional<QString>("Could not write the mute."));
    EXPECT_FALSE(controller->isMuted());
    devices->failWrites = false;
    controller->set(0.5f);
    EXPECT_EQ(controller->failure(), std::nullopt);
    EXPECT_FLOAT_EQ(controller->volume(), 0.5f);
}

TEST_F(VolumeControllerTest, ADeviceWhoseVolumeCannotBeSetIsNotWritten)
{
    devices->devices[10].volumeSettable = false;
    devices->devices[10].hasMute = false;
    auto controller = make();
    EXPECT_FALSE(controller->supportsVolume());
    EXPECT_FALSE(controller->supportsMute());
    EXPECT_FLOAT_EQ(controller->volume(), 0.0f);  // a volume that cannot be set is not shown
    EXPECT_EQ(devices->listenerCount(10, AudioDevices::Control::mute), 0);
    controller->set(0.5f);
    controller->setMuted(true);
    EXPECT_TRUE(devices->log().isEmpty());
    EXPECT_FLOAT_EQ(devices->devices[10].volume, 0.75f);
}
