#include "DevicesE2ETest.h"

#include "HALListener.h"
#include "PulseDevices.h"
#include "SystemVolumeController.h"

#include <QCoreApplication>

#include <cmath>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::waitUntil;

namespace {
const QString ours = "local.quorel.aggregate.E2E00000-0000-4000-8000-000000000002";
const HAL::PropertyAddress deviceList{HAL::selector::devices, HAL::scope::global, 0};
const HAL::PropertyAddress defaultOutput{HAL::selector::defaultOutputDevice, HAL::scope::global, 0};
}  // namespace

TEST_F(DevicesE2ETest, TheDeviceListListenerFiresWhenASinkAppearsAndVanishes)
{
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, deviceList, [&] { ++fired; });
    ASSERT_NE(listener, nullptr);
    addSink("other_speakers", "Other speakers");
    EXPECT_TRUE(waitUntil([&] { return fired == 1; }));
    removeSink("other_speakers");
    EXPECT_TRUE(waitUntil([&] { return fired == 2; }));
}

TEST_F(DevicesE2ETest, OurOwnSinkComingAndGoingIsNoDeviceListChange)
{
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, deviceList, [&] { ++fired; });
    ASSERT_NE(listener, nullptr);
    addSink(ours, "Quorel");
    removeSink(ours);
    addSink("other_speakers", "Other speakers");
    // Changes reach the main thread in order, so the last one arriving means all have.
    ASSERT_TRUE(waitUntil([&] { return fired >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
}

TEST_F(DevicesE2ETest, TheDefaultListenerFiresOnlyWhenTheRealDefaultChanges)
{
    addSink(ours, "Quorel");
    addSink("other_speakers", "Other speakers");
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, defaultOutput, [&] { ++fired; });
    ASSERT_NE(listener, nullptr);
    setServerDefault(ours);              // processing starts
    setServerDefault("test_speakers");   // and stops: the default is given back
    setServerDefault("other_speakers");  // the user picks another device
    ASSERT_TRUE(waitUntil([&] { return fired >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("other_speakers"));
}

TEST_F(DevicesE2ETest, AUserChoiceWhileProcessingRunsIsReportedAndBecomesTheDefault)
{
    addSink(ours, "Quorel");
    addSink("other_speakers", "Other speakers");
    setServerDefault(ours);
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, defaultOutput, [&] { ++fired; });
    setServerDefault("other_speakers");
    EXPECT_TRUE(waitUntil([&] { return fired == 1; }));
    setServerDefault(ours);  // the engine takes the default again
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("other_speakers"));
}

TEST_F(DevicesE2ETest, ADestroyedListenerIsNotCalled)
{
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, deviceList, [&] { ++fired; });
    int witness = 0;
    auto other = HALListener::create(HAL::systemObject, deviceList, [&] { ++witness; });
    listener.reset();
    addSink("other_speakers", "Other speakers");
    ASSERT_TRUE(waitUntil([&] { return witness == 1; }));
    EXPECT_EQ(fired, 0);
}

TEST_F(DevicesE2ETest, TheControllerFollowsVolumeAndMuteChangedElsewhere)
{
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    ASSERT_EQ(controller.device(), idOf("test_speakers"));
    EXPECT_FLOAT_EQ(controller.volume(), 1.0f);
    pactl({"set-sink-volume", "test_speakers", "40%"});
    EXPECT_TRUE(waitUntil([&] { return std::abs(controller.volume() - 0.4f) < 0.001f; }));
    pactl({"set-sink-mute", "test_speakers", "1"});
    EXPECT_TRUE(waitUntil([&] { return controller.isMuted(); }));
}

TEST_F(DevicesE2ETest, TheControllerFollowsTheDefaultUnlessAPreferredDeviceExists)
{
    addSink("other_speakers", "Other speakers");
    addSink("third_speakers", "Third speakers");
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    setServerDefault("other_speakers");
    EXPECT_TRUE(waitUntil([&] { return controller.device() == idOf("other_speakers"); }));
    EXPECT_EQ(controller.deviceName(), "Other speakers");

    controller.follow(QString("test_speakers"));
    EXPECT_EQ(controller.device(), idOf("test_speakers"));
    int changes = 0;
    QObject::connect(&controller, &SystemVolumeController::changed, [&] { ++changes; });
    setServerDefault("third_speakers");
    ASSERT_TRUE(waitUntil([&] { return changes >= 1; }));  // reloaded
    EXPECT_EQ(controller.device(), idOf("test_speakers"));

    controller.follow(QString("not_plugged_in"));
    EXPECT_EQ(controller.device(), idOf("third_speakers"));
    EXPECT_EQ(controller.preferredUID(), "not_plugged_in");
    EXPECT_EQ(controller.failure(), std::nullopt);
}

TEST_F(DevicesE2ETest, VolumeAndMuteListenersHearOnlyTheirDevice)
{
    addSink("other_speakers", "Other speakers");
    const HAL::ObjectID speakers = idOf("test_speakers");
    int volumeFired = 0;
    int muteFired = 0;
    auto volume = HALListener::create(speakers, HAL::address(HAL::selector::volume, HAL::scope::output, 0),
                                      [&] { ++volumeFired; });
    auto mute =
        HALListener::create(speakers, HAL::address(HAL::selector::mute, HAL::scope::output, 0), [&] { ++muteFired; });
    ASSERT_NE(volume, nullptr);
    ASSERT_NE(mute, nullptr);
    pactl({"set-sink-volume", "other_speakers", "30%"});
    pactl({"set-sink-mute", "other_speakers", "1"});
    pactl({"set-sink-volume", "test_speakers", "70%"});
    ASSERT_TRUE(waitUntil([&] { return volumeFired >= 1; }));
    pactl({"set-sink-mute", "test_speakers", "1"});
    ASSERT_TRUE(waitUntil([&] { return muteFired >= 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(volumeFired, 1);
    EXPECT_EQ(muteFired, 1);
}
