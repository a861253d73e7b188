#include "HAL.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <gtest/gtest.h>

using namespace quorel;

namespace {
PulseSink makeSink(uint32_t index, const QString& name, const QString& description, int channels)
{
    PulseSink sink;
    sink.index = index;
    sink.name = name;
    sink.description = description;
    sink.channels = channels;
    return sink;
}
}  // namespace

TEST(HALOutputDevices, ListsRealSinksInTheServersOrderAndMarksTheDefault)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(52, "usb", "USB DAC", 2), makeSink(40, "speakers", "Speakers", 6)};
    s.setServerDefault("speakers");
    const std::vector<HAL::OutputDevice> expected{{52, "usb", "USB DAC", 2, false},
                                                  {40, "speakers", "Speakers", 6, true}};
    EXPECT_EQ(HAL::outputDevices(s), expected);
}

TEST(HALOutputDevices, OurOwnSinksAreNeverListedAndNeverTheDefault)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers", "Speakers", 2),
               makeSink(50, "local.quorel.aggregate.0A1B2C3D-1111-4222-8333-444455556666", "Quorel", 2),
               makeSink(51, "local.corvanta.aggregate", "Quorel", 8)};
    s.setServerDefault("speakers");
    s.setServerDefault("local.quorel.aggregate.0A1B2C3D-1111-4222-8333-444455556666");
    const std::vector<HAL::OutputDevice> expected{{40, "speakers", "Speakers", 2, true}};
    EXPECT_EQ(HAL::outputDevices(s), expected);
}

TEST(HALOutputDevices, TheServersDummySinkIsNeverListed)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(60, "auto_null", "Dummy Output", 2)};
    s.setServerDefault("auto_null");
    EXPECT_TRUE(HAL::outputDevices(s).empty());
}

TEST(HALOutputDevices, SinksWithoutChannelsOrNameAreLeftOut)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers", "Speakers", 0), makeSink(41, "", "Nameless", 2),
               makeSink(42, "hdmi", "HDMI", 2)};
    s.setServerDefault("speakers");
    const std::vector<HAL::OutputDevice> devices = HAL::outputDevices(s);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].uid, "hdmi");
}

TEST(HALOutputDevices, ASinkWithoutDescriptionIsCalledAudioOutputInTheSavedLanguage)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers", "", 2)};
    EXPECT_EQ(HAL::outputDevices(s).at(0).name, "Audio output");
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    EXPECT_EQ(HAL::outputDevices(s).at(0).name, QString::fromUtf8("Saída de áudio"));
}

TEST(HALOutputDevices, WithoutAnyDefaultNoDeviceIsMarked)
{
    test::TemporaryHome home;
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers", "Speakers", 2)};
    s.setServerDefault("local.quorel.aggregate.stale");
    // A stale default of ours after a crash: the only real sink is what plays.
    EXPECT_TRUE(HAL::outputDevices(s).at(0).isDefault);
    s.sinks.clear();
    EXPECT_TRUE(HAL::outputDevices(s).empty());
}
