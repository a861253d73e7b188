#include "QRSystemIOStats.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorel;

TEST(QRSystemIOStats, PeaksInDecibels)
{
    EXPECT_EQ(QRSystemIOStats::peakDB(0), -120);
    EXPECT_EQ(QRSystemIOStats::peakDB(-0.5f), -120);
    EXPECT_EQ(QRSystemIOStats::peakDB(std::numeric_limits<float>::infinity()), -120);
    EXPECT_EQ(QRSystemIOStats::peakDB(std::numeric_limits<float>::quiet_NaN()), -120);
    EXPECT_EQ(QRSystemIOStats::peakDB(1e-7f), -120);
    EXPECT_FLOAT_EQ(QRSystemIOStats::peakDB(1), 0);
    EXPECT_NEAR(QRSystemIOStats::peakDB(0.5f), -6.0206, 1e-3);
}

TEST(QRSystemIOStats, AnEmptyRecordReadsAsRestAndSecondsNeedARate)
{
    QRSystemIOStats stats;
    EXPECT_EQ(stats.inputPeakDB(), -120);
    EXPECT_EQ(stats.outputPeakDB(), -120);
    stats.renderedFrames = 96000;
    EXPECT_EQ(stats.renderedSeconds(), 0);  // before the engine names the rate
    stats.sampleRate = 48000;
    EXPECT_DOUBLE_EQ(stats.renderedSeconds(), 2.0);
}
