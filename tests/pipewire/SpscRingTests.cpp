#include "SpscRing.h"

#include <gtest/gtest.h>

#include <vector>

using quorel::pipewire::SpscRing;

TEST(SpscRing, RoundsCapacityUpToAPowerOfTwo)
{
    EXPECT_EQ(SpscRing(2, 1000).capacity(), 1024u);
    EXPECT_EQ(SpscRing(2, 1024).capacity(), 1024u);
    EXPECT_EQ(SpscRing(2, 0).capacity(), 1u);
}

TEST(SpscRing, KeepsInterleavedFramesInOrderAcrossTheWrap)
{
    SpscRing ring(2, 8);
    std::vector<float> out(16);
    // Move the positions near the end so the next write wraps.
    std::vector<float> filler(12, 9.0f);
    ASSERT_EQ(ring.write(filler.data(), 6), 6u);
    ASSERT_EQ(ring.read(out.data(), 6), 6u);
    std::vector<float> in;
    for (int i = 0; i < 10; ++i) in.push_back(float(i));
    ASSERT_EQ(ring.write(in.data(), 5), 5u);
    ASSERT_EQ(ring.readable(), 5u);
    ASSERT_EQ(ring.read(out.data(), 5), 5u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out[size_t(i)], float(i));
}

TEST(SpscRing, WritesOnlyWhatFitsAndReadsOnlyWhatIsThere)
{
    SpscRing ring(1, 4);
    const float in[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ring.write(in, 6), 4u);
    EXPECT_EQ(ring.writable(), 0u);
    float out[6] = {};
    EXPECT_EQ(ring.read(out, 6), 4u);
    EXPECT_EQ(out[3], 4.0f);
    EXPECT_EQ(ring.read(out, 1), 0u);
}

TEST(SpscRing, NullWriteAddsSilence)
{
    SpscRing ring(2, 4);
    const float in[4] = {1, 1, 1, 1};
    ring.write(in, 2);
    float out[4];
    ring.read(out, 2);
    ring.write(nullptr, 2);
    out[0] = out[1] = out[2] = out[3] = 7;
    ASSERT_EQ(ring.read(out, 2), 2u);
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(SpscRing, ClearEmptiesIt)
{
    SpscRing ring(1, 4);
    const float in[3] = {1, 2, 3};
    ring.write(in, 3);
    ring.clear();
    EXPECT_EQ(ring.readable(), 0u);
    EXPECT_EQ(ring.writable(), 4u);
}
