// The process's sound server address names nothing (see main.cpp): every call meets a server
// that is not running.
#include "AudioFailure.h"
#include "HAL.h"
#include "HALListener.h"
#include "PulseDevices.h"
#include "SystemVolumeController.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

namespace {
const HAL::PropertyAddress defaultAddress{HAL::selector::defaultOutputDevice, HAL::scope::global, 0};
}

TEST(WithoutServer, ReadsSayTheServerIsNotRunning)
{
    test::TemporaryHome home;
    try {
        HAL::defaultOutputDevice();
        FAIL() << "no exception";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), "The sound server is not running.");
    }
    try {
        HAL::string(40, HAL::selector::name, HAL::scope::global);
        FAIL() << "no exception";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), "The sound server is not running.");
    }
}

TEST(WithoutServer, WritesSayTheServerIsNotRunning)
{
    test::TemporaryHome home;
    try {
        HAL::set(40, {HAL::selector::volume, HAL::scope::output, 0}, 0.5f);
        FAIL() << "no exception";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), "The sound server is not running.");
    }
    try {
        HAL::setDefaultOutputDevice("speakers");
        FAIL() << "no exception";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), "The sound server is not running.");
    }
}

TEST(WithoutServer, TheMessageIsRenderedInTheSavedLanguage)
{
    test::TemporaryHome home;
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    try {
        HAL::defaultOutputDevice();
        FAIL() << "no exception";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), QString::fromUtf8("O servidor de som não está em execução."));
    }
}

TEST(WithoutServer, TheFunctionsThatNeverFailGiveNothing)
{
    test::TemporaryHome home;
    EXPECT_TRUE(HAL::outputDevices().empty());
    EXPECT_EQ(HAL::device("speakers"), std::nullopt);
    EXPECT_EQ(HAL::channelCount(40, HAL::scope::output), 0);
    EXPECT_FALSE(HAL::has(HAL::systemObject, defaultAddress));
    EXPECT_FALSE(HAL::isSettable(HAL::systemObject, defaultAddress));
    EXPECT_EQ(HAL::name(40), "Audio output");
}

TEST(WithoutServer, SystemListenersWaitForTheServerDeviceListenersAreRefused)
{
    auto listener = HALListener::create(HAL::systemObject, defaultAddress, [] {});
    ASSERT_NE(listener, nullptr);
    EXPECT_TRUE(listener->active());
    EXPECT_EQ(listener->object(), HAL::systemObject);
    EXPECT_EQ(listener->address(), defaultAddress);
    EXPECT_EQ(HALListener::create(40, {HAL::selector::volume, HAL::scope::output, 0}, [] {}), nullptr);
    EXPECT_EQ(HALListener::create(HAL::systemObject, {HAL::selector::name, HAL::scope::global, 0}, [] {}), nullptr);
    EXPECT_EQ(HALListener::create(HAL::systemObject, {HAL::selector::devices, HAL::scope::global, 1}, [] {}), nullptr);
}

TEST(WithoutServer, TheVolumeControllerReportsTheFailureAndControlsNothing)
{
    test::TemporaryHome home;
    SystemVolumeController controller(std::make_shared<PulseDevices>());
    EXPECT_EQ(controller.failure(), "The sound server is not running.");
    EXPECT_EQ(controller.deviceName(), "Audio output");
    EXPECT_FALSE(controller.supportsVolume());
    EXPECT_FALSE(controller.supportsMute());
    EXPECT_EQ(controller.device(), HAL::noDevice);

    controller.set(0.5f);
    controller.setMuted(true);
    EXPECT_EQ(controller.volume(), 0.0f);
    EXPECT_FALSE(controller.isMuted());

    controller.follow(QString("speakers"));
    EXPECT_EQ(controller.preferredUID(), "speakers");
    EXPECT_EQ(controller.failure(), "The sound server is not running.");
}

TEST(WithoutServer, TheDevicesListOfOutputsSaysTheServerIsNotRunning)
{
    test::TemporaryHome home;
    PulseDevices devices;
    try {
        devices.outputDevices();
        FAIL() << "no exception: an empty list would say the server has no output device";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), "The sound server is not running.");
    }
}
