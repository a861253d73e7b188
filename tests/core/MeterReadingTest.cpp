#include "MeterReading.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(MeterReading, VariableFieldsDefaultToNoData)
{
    const MeterReading reading{-10, -3, -12, -1.5f, 7, 2};
    EXPECT_EQ(reading.levelerLoudnessLUFS, -120);
    EXPECT_EQ(reading.levelerGainDB, 0);
    EXPECT_FALSE(reading.levelerMeasuring);
    EXPECT_EQ(reading.driveActivity, 0);
    EXPECT_EQ(reading.guardedSamples, 7u);
}
