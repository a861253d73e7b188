#include "PulseVolume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace quorel;

namespace {
pa_cvolume channels(std::initializer_list<pa_volume_t> values)
{
    pa_cvolume volume;
    pa_cvolume_init(&volume);
    for (pa_volume_t v : values) volume.values[volume.channels++] = v;
    return volume;
}

pa_volume_t loudest(const pa_cvolume& volume) { return pa_cvolume_max(&volume); }
}  // namespace

TEST(PulseVolume, FractionIsTheLoudestChannelOnTheCubicScale)
{
    EXPECT_FLOAT_EQ(pulseVolume::fraction(channels({PA_VOLUME_NORM, PA_VOLUME_NORM})), 1.0f);
    EXPECT_FLOAT_EQ(pulseVolume::fraction(channels({PA_VOLUME_NORM / 4, PA_VOLUME_NORM / 2})), 0.5f);
    EXPECT_FLOAT_EQ(pulseVolume::fraction(channels({PA_VOLUME_MUTED, PA_VOLUME_MUTED})), 0.0f);
    // 50 % on the slider is an eighth of the amplitude: the scale is cubic, not linear.
    EXPECT_NEAR(pa_sw_volume_to_linear(PA_VOLUME_NORM / 2), 0.125, 1e-4);
}

TEST(PulseVolume, LouderThanFullReadsAsFull)
{
    EXPECT_FLOAT_EQ(pulseVolume::fraction(channels({PA_VOLUME_NORM * 3 / 2, PA_VOLUME_NORM})), 1.0f);
}

TEST(PulseVolume, WithoutChannelsTheFractionIsZero)
{
    pa_cvolume none;
    pa_cvolume_init(&none);
    EXPECT_FLOAT_EQ(pulseVolume::fraction(none), 0.0f);
}

TEST(PulseVolume, ScalingKeepsTheBalanceOfASurroundSink)
{
    const pa_volume_t n = PA_VOLUME_NORM;
    const pa_cvolume surround = channels({n, n / 2, n, n, n / 2, n / 2});
    const pa_cvolume scaled = pulseVolume::scaled(surround, 0.5f);
    ASSERT_EQ(scaled.channels, 6);
    const pa_volume_t expected[] = {n / 2, n / 4, n / 2, n / 2, n / 4, n / 4};
    for (int c = 0; c < 6; ++c) EXPECT_NEAR(double(scaled.values[c]), double(expected[c]), 1.0) << c;
    EXPECT_FLOAT_EQ(pulseVolume::fraction(scaled), 0.5f);
}

TEST(PulseVolume, ScalingClampsAndTreatsNotFiniteAsZero)
{
    const pa_cvolume stereo = channels({PA_VOLUME_NORM / 2, PA_VOLUME_NORM / 4});
    EXPECT_EQ(loudest(pulseVolume::scaled(stereo, 1.7f)), PA_VOLUME_NORM);
    EXPECT_EQ(loudest(pulseVolume::scaled(stereo, -0.2f)), PA_VOLUME_MUTED);
    EXPECT_EQ(loudest(pulseVolume::scaled(stereo, std::numeric_limits<float>::quiet_NaN())), PA_VOLUME_MUTED);
    EXPECT_EQ(loudest(pulseVolume::scaled(stereo, std::numeric_limits<float>::infinity())), PA_VOLUME_MUTED);
}

TEST(PulseVolume, RaisingFromSilenceSetsEveryChannel)
{
    const pa_cvolume silent = channels({PA_VOLUME_MUTED, PA_VOLUME_MUTED});
    const pa_cvolume scaled = pulseVolume::scaled(silent, 0.5f);
    EXPECT_EQ(scaled.values[0], PA_VOLUME_NORM / 2);
    EXPECT_EQ(scaled.values[1], PA_VOLUME_NORM / 2);
}
