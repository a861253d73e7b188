#include "GraphPath.h"

#include <gtest/gtest.h>

using quorel::pipewire::GraphPath;
using Port = quorel::pipewire::PipeWireContext::Port;

namespace {

Port playback(uint32_t id, const char* channel)
{
    return Port{id, 7, true, false, std::string("playback_") + channel, channel};
}
Port monitor(uint32_t id, const char* channel)
{
    return Port{id, 7, false, true, std::string("monitor_") + channel, channel};
}

}  // namespace

TEST(PlaybackPorts, AStereoDeviceTakesLeftAndRightWhateverTheOrderOfIds)
{
    EXPECT_EQ(GraphPath::playbackPorts({playback(12, "FR"), monitor(13, "FL"), playback(11, "FL")}),
              (std::vector<uint32_t>{11, 12}));
}

TEST(PlaybackPorts, AMonoDeviceTakesOneOutput)
{
    EXPECT_EQ(GraphPath::playbackPorts({monitor(21, "MONO"), playback(20, "MONO")}), (std::vector<uint32_t>{20}));
}

TEST(PlaybackPorts, ASurroundDeviceTakesTheFrontPairNotTheFirstPorts)
{
    EXPECT_EQ(GraphPath::playbackPorts({playback(30, "FC"), playback(31, "LFE"), playback(32, "FL"), playback(33, "FR"),
                                        playback(34, "RL"), playback(35, "RR")}),
              (std::vector<uint32_t>{32, 33}));
}

TEST(PlaybackPorts, ADeviceWithoutAFrontPairTakesItsFirstTwoPorts)
{
    EXPECT_EQ(GraphPath::playbackPorts({playback(42, "AUX2"), playback(40, "AUX0"), playback(41, "FL")}),
              (std::vector<uint32_t>{40, 41}));
}

TEST(PlaybackPorts, MonitorAndOutputPortsAreNeverPlaybackPorts)
{
    EXPECT_TRUE(GraphPath::playbackPorts({monitor(50, "FL"), monitor(51, "FR")}).empty());
    EXPECT_TRUE(GraphPath::playbackPorts({Port{52, 7, false, false, "capture_FL", "FL"}}).empty());
    EXPECT_TRUE(GraphPath::playbackPorts({}).empty());
}
