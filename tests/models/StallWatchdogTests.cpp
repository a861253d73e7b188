#include "ManualClock.h"
#include "StallWatchdog.h"

#include <gtest/gtest.h>

using namespace quorel;
using Verdict = StallWatchdog::Verdict;

namespace {

// A watchdog on a manual clock, with the answer to "does an app play?" and how often it was asked.
struct Watch {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    StallWatchdog watchdog{clock};
    std::optional<bool> playing = true;
    int asked = 0;

    StallWatchdog::Look look(uint64_t callbacks)
    {
        return watchdog.look(callbacks, [this] {
            ++asked;
            return playing;
        });
    }
};

}  // namespace

TEST(StallWatchdog, FlowingCyclesCarryOnWithoutAsking)
{
    Watch w;
    w.watchdog.started();
    for (uint64_t n = 1; n <= 50; ++n) {
        w.clock->advance(0.2);
        const StallWatchdog::Look look = w.look(n * 10);
        EXPECT_TRUE(look.resumed);
        EXPECT_EQ(look.verdict, Verdict::carryOn);
    }
    EXPECT_EQ(w.asked, 0);
}

TEST(StallWatchdog, AStallIsThreeSecondsWithoutACycleWhileAnAppPlays)
{
    Watch w;
    w.watchdog.started();
    w.clock->advance(0.2);
    EXPECT_TRUE(w.look(5).resumed);
    w.clock->advance(2.9);
    EXPECT_EQ(w.look(5).verdict, Verdict::carryOn);
    EXPECT_EQ(w.asked, 0);
    w.clock->advance(0.2);
    const StallWatchdog::Look look = w.look(5);
    EXPECT_FALSE(look.resumed);
    EXPECT_EQ(look.verdict, Verdict::stalled);
    EXPECT_EQ(w.asked, 1);
}

TEST(StallWatchdog, NoCycleWithNothingPlayingWaitsAndCountsAgainFromThen)
{
    Watch w;
    w.watchdog.started();
    w.look(5);
    w.playing = false;
    w.clock->advance(3.2);
    EXPECT_EQ(w.look(5).verdict, Verdict::waitForAudio);
    w.playing = true;
    w.clock->advance(2.9);
    EXPECT_EQ(w.look(5).verdict, Verdict::carryOn);
    w.clock->advance(0.2);
    EXPECT_EQ(w.look(5).verdict, Verdict::stalled);
}

TEST(StallWatchdog, NobodyCanTellIsNoStall)
{
    Watch w;
    w.watchdog.started();
    w.look(5);
    w.playing = std::nullopt;
    w.clock->advance(3.2);
    EXPECT_EQ(w.look(5).verdict, Verdict::cannotTell);
    w.clock->advance(10);
    EXPECT_EQ(w.look(5).verdict, Verdict::cannotTell);
}

TEST(StallWatchdog, TheStallTimeRestartsAfterARest)
{
    Watch w;
    w.watchdog.started();
    w.look(5);
    w.clock->advance(10);
    w.watchdog.restartStallTime();
    w.clock->advance(2.9);
    EXPECT_EQ(w.look(5).verdict, Verdict::carryOn);
}

TEST(StallWatchdog, ThreeStallsWithinFiveMinutesReconnectAndTheFourthGivesUp)
{
    Watch w;
    EXPECT_EQ(w.watchdog.countStall(), 1);
    w.clock->advance(100);
    EXPECT_EQ(w.watchdog.countStall(), 2);
    w.clock->advance(100);
    EXPECT_EQ(w.watchdog.countStall(), 3);
    w.clock->advance(99);
    EXPECT_EQ(w.watchdog.countStall(), std::nullopt);
    EXPECT_EQ(w.watchdog.stallRestarts(), 3);
    // The first one is 5 minutes old now: it no longer counts.
    w.clock->advance(1);
    EXPECT_EQ(w.watchdog.countStall(), 3);
    w.watchdog.clearRetries();
    EXPECT_EQ(w.watchdog.stallRestarts(), 0);
    EXPECT_EQ(w.watchdog.countStall(), 1);
}

TEST(StallWatchdog, ASilentStartRetriesFiveTimesThenGivesUp)
{
    Watch w;
    for (int retry = 1; retry <= StallWatchdog::silentStartLimit; ++retry) {
        w.watchdog.started();
        w.clock->advance(1.9);
        EXPECT_EQ(w.look(0).verdict, Verdict::carryOn);
        w.clock->advance(0.3);
        EXPECT_EQ(w.look(0).verdict, Verdict::retryStart);
        EXPECT_EQ(w.watchdog.silentStartRetries(), retry);
    }
    w.watchdog.started();
    w.clock->advance(2.2);
    EXPECT_EQ(w.look(0).verdict, Verdict::giveUpStart);
    EXPECT_EQ(w.watchdog.silentStartRetries(), StallWatchdog::silentStartLimit);
    w.watchdog.clearRetries();
    EXPECT_EQ(w.look(0).verdict, Verdict::retryStart);
}

TEST(StallWatchdog, ASilentStartWithNothingPlayingWaitsAndDuesTheSecondKickAfterFourSeconds)
{
    Watch w;
    w.playing = false;
    w.watchdog.started();
    w.watchdog.countKick();
    w.clock->advance(2.2);
    StallWatchdog::Look look = w.look(0);
    EXPECT_EQ(look.verdict, Verdict::waitForAudio);
    EXPECT_FALSE(look.kickDue);
    w.clock->advance(2.0);
    look = w.look(0);
    EXPECT_EQ(look.verdict, Verdict::waitForAudio);
    EXPECT_TRUE(look.kickDue);
    w.watchdog.countKick();
    EXPECT_FALSE(w.watchdog.kicksLeft());
    EXPECT_FALSE(w.look(0).kickDue);
    EXPECT_EQ(w.watchdog.kicks(), 2);
    w.watchdog.reset();
    EXPECT_EQ(w.watchdog.kicks(), 0);
    EXPECT_TRUE(w.watchdog.kicksLeft());
}

TEST(StallWatchdog, BeforeAnyStartNothingIsSilent)
{
    Watch w;
    w.clock->advance(60);
    EXPECT_EQ(w.look(0).verdict, Verdict::carryOn);
    EXPECT_EQ(w.asked, 0);
}
