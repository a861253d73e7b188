#include "AllocationCounter.h"
#include "AudioComponentRegistry.h"
#include "QRDriveUnit.h"
#include "QREffects.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorel {
namespace {

using test::Channels;

constexpr float notANumber = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

TEST(QRDriveUnit, StartsWithItsInitialParameters)
{
    QRDriveUnit unit;
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.999f);
    EXPECT_EQ(unit.state().activity.load(), 0.0f);
    EXPECT_EQ(unit.componentDescription(), QRRegisterDriveUnit());
}

TEST(QRDriveUnit, OversamplingFactorAndLatencyFollowTheRate)
{
    const struct {
        double rate;
        uint32_t factor;
        double frames;
    } cases[] = {{44100, 4, 32}, {48000, 4, 32}, {88200, 2, 64}, {96000, 2, 64}, {176400, 1, 0}, {192000, 1, 0}};
    for (const auto& c : cases) {
        QRDriveUnit unit;
        ASSERT_TRUE(test::prepareUnit(unit, c.rate, 2));
        EXPECT_EQ(unit.state().factor, c.factor) << c.rate;
        EXPECT_EQ(unit.state().taps, c.factor > 1 ? 129u : 1u);
        EXPECT_NEAR(unit.latency() * c.rate, c.frames, 1e-9) << c.rate;
    }
    QRDriveUnit unit;
    EXPECT_NEAR(unit.latency(), 0.000667, 1e-6);  // the buses start at 48000 Hz
}

TEST(QRDriveUnit, ConfigureClampsAndIgnoresValuesThatAreNotFinite)
{
    QRDriveUnit unit;
    unit.configureAmount(0.5f, 0.05f);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.5f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.1f);
    unit.configureAmount(3, 7);
    EXPECT_EQ(unit.state().parameters.latest().amount, 1.0f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 1.0f);
    unit.configureAmount(-1, 0.5f);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.0f);
    unit.configureAmount(notANumber, infinity);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.5f);
    unit.configureAmount(0.25f, notANumber);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.25f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.5f);
}

TEST(QRDriveUnit, ActivityReportsTheLargestDrivenMagnitudeOnce)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.configureAmount(1, 1);
    const auto tone = test::sine(1000, 1.0, 48000, 4800);
    test::renderThrough(unit, {tone, tone});
    // 10^(6/20) times the oversampled peak (the interpolation may round the peak by a hair).
    EXPECT_NEAR(unit.readActivity(), 1.995f, 0.01f);
    EXPECT_EQ(unit.readActivity(), 0.0f);

    const Channels silence(2, std::vector<float>(1024, 0.0f));
    test::renderThrough(unit, silence);  // carries the filters' tail of the tone
    unit.readActivity();
    test::renderThrough(unit, silence);
    EXPECT_EQ(unit.readActivity(), 0.0f);
}

TEST(QRDriveUnit, AmountZeroIsTheBandLimitedInputDelayed)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 1));
    const auto tone = test::sine(440, 0.8, 48000, 4096);
    const Channels out = test::renderThrough(unit, {tone}, 300);
    for (size_t i = 32; i < tone.size(); ++i) ASSERT_NEAR(out[0][i], tone[i - 32], 1e-3) << i;
    EXPECT_EQ(unit.readActivity(), 0.0f);
}

TEST(QRDriveUnit, ShapedOutputStaysNearTheCeiling)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    const float ceiling = 0.5f;
    unit.configureAmount(1, ceiling);
    const auto tone = test::sine(100, 4.0, 48000, 9600);  // 12 dB over full scale
    const Channels out = test::renderThrough(unit, {tone, tone});
    float peak = 0;
    for (float s : out[0]) peak = std::max(peak, std::fabs(s));
    // The curve stays below the ceiling; the decimation filter's ringing adds a little.
    EXPECT_LT(peak, ceiling * 1.1f);
    EXPECT_GT(peak, ceiling * 0.95f);
}

TEST(QRDriveUnit, WithoutOversamplingTheCurveAloneShapesTheSignal)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 192000, 2));
    ASSERT_EQ(unit.latency(), 0.0);
    unit.configureAmount(1, 0.7f);
    const auto noise = test::whiteNoise(3.0, 4096, 13);
    const Channels out = test::renderThrough(unit, {noise, noise}, 333);
    const DriveCurve curve = DriveCurve::make(1, 0.7f);
    for (size_t i = 0; i < noise.size(); ++i) {
        ASSERT_NEAR(out[0][i], curve.shapeSample(noise[i]), 1e-6) << i;
        ASSERT_LE(std::fabs(out[0][i]), 0.7f);
    }
}

TEST(QRDriveUnit, NotFiniteInputIsRenderedAsSilence)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.configureAmount(1, 1);
    std::vector<float> left(256, 0.0f), right(256, 0.0f);
    left[10] = notANumber;
    right[20] = infinity;
    right[21] = -infinity;
    const float* in[2] = {left.data(), right.data()};
    std::vector<float> outLeft(256, 1.0f), outRight(256, 1.0f);
    float* out[2] = {outLeft.data(), outRight.data()};
    RenderActionFlags flags = renderFlags::outputIsSilence;
    ASSERT_EQ(test::renderOnce(unit, in, out, 2, 256, flags), status::ok);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(outLeft[i], 0.0f);
        ASSERT_EQ(outRight[i], 0.0f);
    }
    EXPECT_EQ(flags & renderFlags::outputIsSilence, renderFlags::outputIsSilence);
}

TEST(QRDriveUnit, ResetClearsHistoriesAndActivityButKeepsParameters)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 1));
    unit.configureAmount(0.7f, 0.8f);
    const auto tone = test::sine(200, 1.0, 48000, 1000);
    test::renderThrough(unit, {tone});
    unit.reset();
    EXPECT_EQ(unit.state().activity.load(), 0.0f);
    EXPECT_EQ(unit.state().parameters.latest().amount, 0.7f);
    EXPECT_EQ(unit.state().parameters.latest().ceiling, 0.8f);
    const Channels out = test::renderThrough(unit, {std::vector<float>(256, 0.0f)});
    for (float s : out[0]) ASSERT_EQ(s, 0.0f);
}

TEST(QRDriveUnit, RegistersOnceAndInstantiatesByDescription)
{
    const AudioComponentDescription first = QRRegisterDriveUnit();
    const AudioComponentDescription second = QRRegisterDriveUnit();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.componentType, fourCharCode("aufx"));
    EXPECT_EQ(first.componentSubType, fourCharCode("qrdr"));
    EXPECT_EQ(first.componentManufacturer, fourCharCode("Qorl"));
    const auto info = AudioComponentRegistry::shared().find(first);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Quorel: Drive");
    EXPECT_EQ(info->version, 1u);
    auto unit = AudioComponentRegistry::shared().instantiate(first);
    EXPECT_TRUE(dynamic_cast<QRDriveUnit*>(unit.get()));
}

TEST(QRDriveUnit, RenderAllocatesNothing)
{
    QRDriveUnit unit;
    ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
    unit.configureAmount(1, 0.9f);
    const auto loud = test::whiteNoise(1.0, 4096, 3);
    const float* in[2] = {loud.data(), loud.data()};
    std::vector<float> left(4096), right(4096);
    float* out[2] = {left.data(), right.data()};
    RenderActionFlags flags = 0;
    test::AllocationCounter counter;
    for (uint32_t frames : {4096u, 128u, 1u, 511u})
        ASSERT_EQ(test::renderOnce(unit, in, out, 2, frames, flags), status::ok);
    unit.configureAmount(0.3f, 0.5f);
    ASSERT_EQ(test::renderOnce(unit, in, out, 2, 512, flags), status::ok);
    unit.readActivity();
    EXPECT_EQ(counter.allocations(), 0u);
}

TEST(QRDriveUnit, OutOfMemoryFailsTheAllocationCleanly)
{
    // Fail the first, second, ... allocation in turn: scratch buffers, then each channel's blocks.
    for (uint64_t allowed = 0; allowed < 4; ++allowed) {
        QRDriveUnit unit;
        UnitError error;
        {
            test::AllocationFailure failure(allowed);
            error = unit.allocateRenderResources();
        }
        if (allowed < 3) {
            EXPECT_EQ(error, UnitError::outOfMemory()) << allowed;
            EXPECT_FALSE(unit.state().oversampler[0].allocated());
            EXPECT_FALSE(unit.state().oversampler[1].allocated());
        }
        ASSERT_TRUE(test::prepareUnit(unit, 48000, 2));
        unit.configureAmount(1, 1);
        const auto tone = test::sine(1000, 1.0, 48000, 1024);
        test::renderThrough(unit, {tone, tone});
        EXPECT_GT(unit.readActivity(), 1.9f);
    }
}

}  // namespace
}  // namespace quorel
