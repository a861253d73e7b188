#include "ClientConfig.h"

#include <gtest/gtest.h>

#include <string>

using quorel::pipewire::realtimeClientConfig;

TEST(ClientConfig, PipeWire03LoadsRealtimeThroughClientRt)
{
    EXPECT_EQ(std::string(realtimeClientConfig("0.3.65")), "client-rt.conf");
    EXPECT_EQ(std::string(realtimeClientConfig("0.3.48")), "client-rt.conf");
}

TEST(ClientConfig, PipeWire1LoadsRealtimeThroughClient)
{
    // 1.x warns "setting config.name to client-rt.conf is deprecated" on every start.
    EXPECT_EQ(std::string(realtimeClientConfig("1.0.0")), "client.conf");
    EXPECT_EQ(std::string(realtimeClientConfig("1.4.2")), "client.conf");
    EXPECT_EQ(std::string(realtimeClientConfig("10.1")), "client.conf");
}

TEST(ClientConfig, AnUnreadableVersionKeepsTheOldName)
{
    EXPECT_EQ(std::string(realtimeClientConfig(nullptr)), "client-rt.conf");
    EXPECT_EQ(std::string(realtimeClientConfig("")), "client-rt.conf");
}
