#include "AllocationCounter.h"
#include "QREffects.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRUtilityUnit.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorel {
namespace {

// Renders `calls` blocks of varying length (up to the capacity) through an allocated unit,
// changing its parameters in between, and returns how many allocations happened meanwhile.
template <typename Unit, typename Configure>
uint64_t allocationsWhileRendering(Unit& unit, uint32_t channels, Configure configure)
{
    std::vector<float> input[2] = {test::whiteNoise(1.5, 4096, 1), test::whiteNoise(1.5, 4096, 2)};
    input[0][17] = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> output[2] = {std::vector<float>(4096), std::vector<float>(4096)};
    const float* in[2] = {input[0].data(), input[1].data()};
    float* out[2] = {output[0].data(), output[1].data()};
    const uint32_t lengths[] = {1, 64, 128, 441, 512, 4096, 0, 4095};

    test::AllocationCounter counter;
    for (int call = 0; call < 400; ++call) {
        configure(unit, call);
        RenderActionFlags flags = 0;
        const bool nullBuffers = call % 5 == 0;
        if (test::renderOnce(unit, in, nullBuffers ? nullptr : out, channels, lengths[call % 8], flags) != status::ok)
            return std::numeric_limits<uint64_t>::max();
    }
    return counter.allocations();
}

TEST(RenderAllocation, UtilityRendersWithoutAllocating)
{
    const float centres[] = {31.5f, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    for (uint32_t channels : {1u, 2u}) {
        QRUtilityUnit unit;
        unit.configureSpectrum(centres, 10);
        ASSERT_TRUE(test::prepareUnit(unit, 48000, channels));
        EXPECT_EQ(allocationsWhileRendering(unit, channels,
                                            [](QRUtilityUnit& u, int call) {
                                                u.setGain(float(call % 3));
                                                u.configureDelay(uint32_t(call * 997 % 60000), 0.5f);
                                                u.readMeter();
                                                u.gainHasSettled();
                                            }),
                  0u);
    }
}

TEST(RenderAllocation, LimiterRendersWithoutAllocating)
{
    for (uint32_t channels : {1u, 2u}) {
        QRLimiterUnit unit;
        ASSERT_TRUE(test::prepareUnit(unit, 44100, channels));
        EXPECT_EQ(allocationsWhileRendering(unit, channels,
                                            [](QRLimiterUnit& u, int call) {
                                                u.configureCeiling(0.2f + 0.1f * float(call % 8), 0.005f,
                                                                   0.001f * float(call % 50));
                                                u.readGain();
                                            }),
                  0u);
    }
}

TEST(RenderAllocation, LevelerRendersWithoutAllocating)
{
    for (uint32_t channels : {1u, 2u}) {
        QRLevelerUnit unit;
        ASSERT_TRUE(test::prepareUnit(unit, 96000, channels));
        EXPECT_EQ(allocationsWhileRendering(unit, channels,
                                            [](QRLevelerUnit& u, int call) {
                                                u.configureStrength(float(call % 3) / 2, -14);
                                                u.reading();
                                            }),
                  0u);
    }
}

TEST(RenderAllocation, CounterSeesAllocations)
{
    test::AllocationCounter counter;
    int* volatile value = new int(3);
    delete value;
    EXPECT_EQ(counter.allocations(), 1u);
    EXPECT_EQ(counter.deallocations(), 1u);
}

}  // namespace
}  // namespace quorel
