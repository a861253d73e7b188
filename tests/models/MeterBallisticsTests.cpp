#include "MeterBallistics.h"

#include <gtest/gtest.h>

using namespace quorel;
using Meters = MeterBallistics::Meters;

namespace {

MeterReading reading(float outputDB, float reductionDB, float activity)
{
    MeterReading r{};
    r.outputPeakDB = outputDB;
    r.limiterReductionDB = reductionDB;
    r.levelerLoudnessLUFS = -20;
    r.levelerGainDB = 2.5f;
    r.levelerMeasuring = true;
    r.driveActivity = activity;
    return r;
}

}  // namespace

TEST(MeterBallistics, LevelsRiseAtOnce)
{
    const Meters next = MeterBallistics::step(Meters(), -6, reading(-3, -4, 0.8f));
    EXPECT_EQ(next.inputDB, -6);
    EXPECT_EQ(next.outputDB, -3);
    EXPECT_EQ(next.limiterDB, -4);
    EXPECT_EQ(next.driveActivity, 0.8f);
    EXPECT_EQ(next.levelerLoudness, -20);
    EXPECT_EQ(next.levelerGain, 2.5f);
    EXPECT_TRUE(next.levelerMeasuring);
}

TEST(MeterBallistics, LevelsFallAtMostOneStepARefresh)
{
    Meters shown{-6, -3, -4, -20, 2.5f, true, 0.8f};
    const Meters next = MeterBallistics::step(shown, -120, reading(-120, 0, 0));
    EXPECT_EQ(next.inputDB, -9);
    EXPECT_EQ(next.outputDB, -6);
    EXPECT_EQ(next.limiterDB, -2.5f);
    EXPECT_FLOAT_EQ(next.driveActivity, 0.65f);
    // A small fall is taken whole.
    const Meters near = MeterBallistics::step(shown, -7, reading(-4, -3.5f, 0.75f));
    EXPECT_EQ(near.inputDB, -7);
    EXPECT_EQ(near.outputDB, -4);
    EXPECT_EQ(near.limiterDB, -3.5f);
    EXPECT_EQ(near.driveActivity, 0.75f);
}

TEST(MeterBallistics, WaitingRestsTheLevelsAndKeepsTheLevelersFigures)
{
    const Meters shown{-6, -3, -4, -20, 2.5f, true, 0.8f};
    EXPECT_FALSE(MeterBallistics::atRest(shown));
    const Meters waiting = MeterBallistics::waiting(shown);
    EXPECT_EQ(waiting, (Meters{-120, -120, 0, -20, 2.5f, false, 0}));
    EXPECT_TRUE(MeterBallistics::atRest(waiting));
    EXPECT_TRUE(MeterBallistics::atRest(Meters()));
    Meters measuring;
    measuring.levelerMeasuring = true;
    EXPECT_FALSE(MeterBallistics::atRest(measuring));
    Meters active;
    active.driveActivity = 0.01f;
    EXPECT_FALSE(MeterBallistics::atRest(active));
}
