#include "OutputGrace.h"

#include <gtest/gtest.h>

using quorel::pipewire::OutputGrace;
using namespace std::chrono_literals;

namespace {

const OutputGrace::Clock::time_point start{};

}  // namespace

TEST(OutputGrace, ADeviceAwayWhileTheSessionManagerRunsIsGoneOnceTheGraceIsOver)
{
    OutputGrace grace(3000ms);
    EXPECT_FALSE(grace.isOver(true, true, 1, start));
    EXPECT_FALSE(grace.remaining(start));
    EXPECT_FALSE(grace.isOver(false, true, 1, start));
    EXPECT_EQ(grace.remaining(start + 1000ms), 2000ms);
    EXPECT_FALSE(grace.isOver(false, true, 1, start + 2999ms));
    EXPECT_TRUE(grace.isOver(false, true, 1, start + 3000ms));
    EXPECT_EQ(grace.remaining(start + 4000ms), 0ms);
}

TEST(OutputGrace, ADeviceBackInTimeStartsAFreshGraceWhenItGoesAgain)
{
    OutputGrace grace(3000ms);
    EXPECT_FALSE(grace.isOver(false, true, 1, start));
    EXPECT_FALSE(grace.isOver(true, true, 1, start + 2000ms));
    EXPECT_FALSE(grace.remaining(start + 2000ms));
    EXPECT_FALSE(grace.isOver(false, true, 1, start + 4000ms));
    EXPECT_FALSE(grace.isOver(false, true, 1, start + 6000ms));
    EXPECT_TRUE(grace.isOver(false, true, 1, start + 7000ms));
}

// The session manager stopped (its devices with it) and the next one starts several seconds
// later, as an update may do: the device it brings back has the whole grace from its start.
TEST(OutputGrace, WhileNoSessionManagerRunsTheDeviceIsNotGone)
{
    OutputGrace grace(3000ms);
    EXPECT_FALSE(grace.isOver(false, true, 1, start));  // going with the old one
    EXPECT_FALSE(grace.isOver(false, false, 1, start + 100ms));
    EXPECT_FALSE(grace.remaining(start + 100ms));
    EXPECT_FALSE(grace.isOver(false, false, 1, start + 10000ms));
    EXPECT_FALSE(grace.isOver(false, true, 2, start + 10000ms));  // the new one
    EXPECT_EQ(grace.remaining(start + 11000ms), 2000ms);
    EXPECT_FALSE(grace.isOver(false, true, 2, start + 12999ms));
    EXPECT_FALSE(grace.isOver(true, true, 2, start + 13000ms));  // it made the device again
}

// Stopped and started again between two looks: the grace counts from the new one's start.
TEST(OutputGrace, ANewSessionManagerStartsTheGraceAfresh)
{
    OutputGrace grace(3000ms);
    EXPECT_FALSE(grace.isOver(false, true, 1, start));
    EXPECT_FALSE(grace.isOver(false, true, 2, start + 2500ms));
    EXPECT_FALSE(grace.isOver(false, true, 2, start + 5000ms));
    EXPECT_TRUE(grace.isOver(false, true, 2, start + 5500ms));
}
