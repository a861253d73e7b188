#include "DelayedRestart.h"
#include "ManualClock.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(DelayedRestart, RunsOnceAfterItsDelay)
{
    auto clock = std::make_shared<ManualClock>();
    DelayedRestart restart(clock);
    int runs = 0;
    restart.schedule(1.0, [&] { ++runs; });
    EXPECT_TRUE(restart.isPending());
    clock->advance(0.9);
    EXPECT_EQ(runs, 0);
    clock->advance(0.1);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(restart.isPending());
    clock->advance(10);
    EXPECT_EQ(runs, 1);
}

TEST(DelayedRestart, ANewerOneReplacesThePendingOne)
{
    auto clock = std::make_shared<ManualClock>();
    DelayedRestart restart(clock);
    std::vector<int> runs;
    restart.schedule(1.0, [&] { runs.push_back(1); });
    clock->advance(0.5);
    restart.schedule(5.0, [&] { runs.push_back(2); });
    clock->advance(1.0);
    EXPECT_TRUE(runs.empty());
    clock->advance(4.5);
    EXPECT_EQ(runs, std::vector<int>{2});
}

TEST(DelayedRestart, CancelledOrDestroyedItNeverRuns)
{
    auto clock = std::make_shared<ManualClock>();
    int runs = 0;
    {
        DelayedRestart restart(clock);
        restart.schedule(1.0, [&] { ++runs; });
        restart.cancel();
        EXPECT_FALSE(restart.isPending());
        clock->advance(2);
        restart.schedule(1.0, [&] { ++runs; });
    }
    clock->advance(2);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(clock->pendingTimers(), 0u);
}

TEST(DelayedRestart, ARestartMayScheduleTheNext)
{
    auto clock = std::make_shared<ManualClock>();
    DelayedRestart restart(clock);
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 3) restart.schedule(1.0, again);
    };
    restart.schedule(1.0, again);
    clock->advance(10);
    EXPECT_EQ(runs, 3);
    EXPECT_FALSE(restart.isPending());
}
