#include "SliderGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace quorel;

TEST(SliderMath, FortyStepsEndExactlyAtTheLimits)
{
    float x = 6.0f;
    for (int i = 0; i < 40; ++i) x = SliderMath::snapped(float(x + SliderMath::increment(0, 12, 0.5f)), 0, 12, 0.5f);
    EXPECT_EQ(x, 12.0f);
    for (int i = 0; i < 40; ++i) x = SliderMath::snapped(float(x - SliderMath::increment(0, 12, 0.5f)), 0, 12, 0.5f);
    EXPECT_EQ(x, 0.0f);
}

TEST(SliderMath, SnapsToTheGridAnchoredAtTheLowerBound)
{
    EXPECT_EQ(SliderMath::snapped(3.3f + 0.5f, 0, 12, 0.5f), 4.0f);
    // Anchored at lo = 0.25, not at 0.
    EXPECT_FLOAT_EQ(SliderMath::snapped(1.0f, 0.25f, 10, 0.5f), 1.25f);
    // Halves go away from zero.
    EXPECT_EQ(SliderMath::snapped(0.25f, 0, 12, 0.5f), 0.5f);
}

TEST(SliderMath, StepZeroMovesByAHundredthOfTheRangeUnsnapped)
{
    EXPECT_DOUBLE_EQ(SliderMath::increment(10, 300, 0), 2.9);
    EXPECT_DOUBLE_EQ(SliderMath::increment(10, 300, -1), 2.9);
    EXPECT_FLOAT_EQ(SliderMath::snapped(10 + 2.9f, 10, 300, 0), 12.9f);
    EXPECT_FLOAT_EQ(SliderMath::snapped(123.456f, 10, 300, 0), 123.456f);
}

TEST(SliderMath, NegativeRangeTakesOnlyGridValues)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> anywhere(-3.5f, 0.5f);
    for (int i = 0; i < 2000; ++i) {
        const float x = SliderMath::snapped(anywhere(random), -3, -0.1f, 0.1f);
        const float k = std::round((x + 3) / 0.1f);
        ASSERT_GE(k, 0);
        ASSERT_LE(k, 29);
        ASSERT_NEAR(x, -3 + k * 0.1f, 1e-6) << "x = " << x;  // the top one is the clamp at hi
    }
}

TEST(SliderMath, NotANumberGivesTheLowerBound)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(SliderMath::snapped(nan, 2, 12, 0.5f), 2.0f);
    EXPECT_EQ(SliderMath::snapped(nan, 2, 12, 0), 2.0f);
    EXPECT_EQ(SliderMath::displayed(nan, 2, 12), 2.0);
    EXPECT_EQ(SliderMath::displayed(std::numeric_limits<double>::infinity(), 2, 12), 12.0);
    EXPECT_EQ(SliderMath::displayed(-40, 2, 12), 2.0);
}

TEST(SliderMath, DifferencesUpToTheTolerancesAreTheSameValue)
{
    EXPECT_FALSE(SliderMath::differs(1.0, 1.000009));
    EXPECT_TRUE(SliderMath::differs(1.0, 1.00002));
    EXPECT_TRUE(SliderMath::differs(std::nan(""), 1.0));
}

TEST(SliderMath, SpokenValues)
{
    EXPECT_EQ(SliderMath::spokenValue(0.125f, "%", AppLanguage::english), "13%");
    EXPECT_EQ(SliderMath::spokenValue(0.5f, "%", AppLanguage::portuguese), "50%");
    EXPECT_EQ(SliderMath::spokenValue(6, "dB", AppLanguage::english), "6.0 dB");
    EXPECT_EQ(SliderMath::spokenValue(6, "dB", AppLanguage::portuguese), "6,0 dB");
    EXPECT_EQ(SliderMath::spokenValue(-2.3f, "dB", AppLanguage::english), "-2.3 dB");
    EXPECT_EQ(SliderMath::spokenValue(6, "", AppLanguage::english), "6.0 ");
}
