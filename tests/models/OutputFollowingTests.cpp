#include "OutputFollowing.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quorel;

namespace {

AudioDevices::OutputDevice device(const QString& uid)
{
    AudioDevices::OutputDevice d{};
    d.uid = uid;
    d.name = uid;
    return d;
}

}  // namespace

TEST(OutputFollowing, RemembersTheChosenOutputAcrossInstances)
{
    quorel::test::TemporaryHome home;
    {
        OutputFollowing output(UserDefaults::standard(), [] { return std::vector<AudioDevices::OutputDevice>(); });
        EXPECT_EQ(output.deviceUID(), std::nullopt);
        EXPECT_TRUE(output.choose(QStringLiteral("headphones")));
        EXPECT_EQ(output.deviceUID(), QStringLiteral("headphones"));
        EXPECT_EQ(output.volume(), nullptr);
    }
    OutputFollowing again(UserDefaults::standard(), {});
    EXPECT_EQ(again.deviceUID(), QStringLiteral("headphones"));
    EXPECT_TRUE(again.choose(std::nullopt));
    EXPECT_EQ(OutputFollowing(UserDefaults::standard(), {}).deviceUID(), std::nullopt);
}

TEST(OutputFollowing, ReadsTheDevicesAndForgetsThemWhenTheServerDoesNotAnswer)
{
    quorel::test::TemporaryHome home;
    bool answers = true;
    OutputFollowing output(UserDefaults::standard(), [&] {
        if (!answers) throw std::runtime_error("no sound server");
        return std::vector<AudioDevices::OutputDevice>{device("speakers"), device("headphones")};
    });
    EXPECT_TRUE(output.devices().empty());
    EXPECT_TRUE(output.readDevices());
    ASSERT_EQ(output.devices().size(), 2u);
    EXPECT_EQ(output.devices()[1].uid, "headphones");
    answers = false;
    EXPECT_FALSE(output.readDevices());
    EXPECT_TRUE(output.devices().empty());
}

TEST(OutputFollowing, TheDeviceListIsDueEveryTenthRefresh)
{
    quorel::test::TemporaryHome home;
    OutputFollowing output(UserDefaults::standard(), {});
    std::vector<int> due;
    for (int refresh = 1; refresh <= 30; ++refresh)
        if (output.readDue()) due.push_back(refresh);
    EXPECT_EQ(due, (std::vector<int>{10, 20, 30}));
}
