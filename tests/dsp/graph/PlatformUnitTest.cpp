#include "AudioComponentRegistry.h"
#include "DynamicsProcessorUnit.h"
#include "EqualizerUnit.h"
#include "MultibandCompressorUnit.h"
#include "PlatformUnits.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel {
namespace {

Status renderOnce(AudioUnit& unit, std::vector<float>& left, std::vector<float>& right, RenderActionFlags& flags)
{
    AudioBufferList list;
    list.numberBuffers = 2;
    list.buffers[0] = {1, 0, nullptr};
    list.buffers[1] = {1, 0, nullptr};
    auto pull = [&](RenderActionFlags&, const AudioTimeStamp&, uint32_t n, int64_t, AudioBufferList& data) -> Status {
        std::copy_n(left.data(), n, data.buffers[0].samples());
        std::copy_n(right.data(), n, data.buffers[1].samples());
        return 0;
    };
    const Status s = unit.render(flags, {}, uint32_t(left.size()), 0, list, PullInput(pull));
    if (s == 0) {
        std::copy_n(list.buffers[0].samples(), left.size(), left.data());
        std::copy_n(list.buffers[1].samples(), right.size(), right.data());
    }
    return s;
}

TEST(PlatformUnits, RegisteredByDescriptionOnce)
{
    registerPlatformUnits();
    registerPlatformUnits();
    auto& registry = AudioComponentRegistry::shared();
    size_t count = 0;
    for (const auto& c : registry.components())
        count += c.description.componentManufacturer == platformManufacturer ? 1 : 0;
    EXPECT_EQ(count, 2u);
    auto dcmp = registry.instantiate({effectComponentType, fourCharCode("dcmp"), platformManufacturer, 0, 0});
    auto mcmp = registry.instantiate({effectComponentType, fourCharCode("mcmp"), platformManufacturer, 0, 0});
    ASSERT_TRUE(dcmp && mcmp);
    ParameterInfo info;
    ASSERT_EQ(dcmp->parameterInfo(6, info), 0);
    EXPECT_EQ(info.minValue, -40.0f);
    EXPECT_EQ(info.maxValue, 40.0f);
    EXPECT_EQ(info.unit, 13u);
    ASSERT_EQ(dcmp->parameterInfo(4, info), 0);
    EXPECT_EQ(info.unit, 4u);
    EXPECT_EQ(dcmp->parameterInfo(7, info), status::invalidParameter);
    ASSERT_EQ(mcmp->parameterInfo(5, info), 0);
    EXPECT_EQ(info.minValue, -100.0f);
    EXPECT_EQ(info.maxValue, 0.0f);
    ASSERT_EQ(mcmp->parameterInfo(2, info), 0);
    EXPECT_EQ(info.unit, 8u);
    EXPECT_EQ(info.maxValue, 20000.0f);
    EXPECT_EQ(mcmp->latency(), 0.0);
    EXPECT_EQ(dcmp->latency(), 0.0);
}

TEST(PlatformUnits, RenderContractAndSanitizing)
{
    DynamicsProcessorUnit unit;
    unit.setParameter(0, 0);
    unit.setParameter(1, 40);
    unit.setParameter(2, 1);
    unit.setParameter(6, 0);
    RenderActionFlags flags = renderFlags::outputIsSilence;
    std::vector<float> l(64, 0.0f), r(64, 0.0f);
    EXPECT_EQ(renderOnce(unit, l, r, flags), status::uninitialized);
    ASSERT_FALSE(unit.allocateRenderResources());
    EXPECT_EQ(renderOnce(unit, l, r, flags), 0);
    EXPECT_EQ(flags, renderFlags::outputIsSilence);
    l[3] = INFINITY;
    r[5] = NAN;
    l[7] = 0.5f;
    EXPECT_EQ(renderOnce(unit, l, r, flags), 0);
    EXPECT_EQ(l[3], 0.0f);
    EXPECT_EQ(r[5], 0.0f);
    EXPECT_EQ(l[7], 0.5f);
    EXPECT_EQ(flags & renderFlags::outputIsSilence, 0u);
    std::vector<float> big(4097, 0.0f), big2 = big;
    EXPECT_EQ(renderOnce(unit, big, big2, flags), status::tooManyFramesToProcess);
}

// Parameters written within one update reach the render thread together: until the last
// update of the unit ends, it renders with the values it had.
TEST(PlatformUnits, ParametersOfOneUpdateArriveTogether)
{
    DynamicsProcessorUnit unit;
    unit.setParameter(DynamicsProcessor::threshold, 0);  // neutral curve: only the gain acts
    unit.setParameter(DynamicsProcessor::overallGain, 0);
    ASSERT_FALSE(unit.allocateRenderResources());
    RenderActionFlags flags = 0;
    const std::vector<float> tone(512, 0.5f);
    std::vector<float> l = tone, r = tone;
    {
        const AudioUnit::ParameterUpdate outer(unit);
        const AudioUnit::ParameterUpdate inner(unit);
        unit.setParameter(DynamicsProcessor::overallGain, -6);
        float stored = 0;
        EXPECT_EQ(unit.parameter(DynamicsProcessor::overallGain, stored), 0);
        EXPECT_EQ(stored, -6.0f);  // the table has it at once
        ASSERT_EQ(renderOnce(unit, l, r, flags), 0);
        EXPECT_EQ(l, tone);  // the render thread not yet
    }
    l = tone, r = tone;
    ASSERT_EQ(renderOnce(unit, l, r, flags), 0);
    // The next render fades to the new gain over 10 ms (480 frames), without a step.
    EXPECT_LT(l[1], 0.5f);
    for (size_t i = 1; i < l.size(); ++i) EXPECT_LE(std::fabs(l[i] - l[i - 1]), 0.001f) << i;
    EXPECT_NEAR(l[511], 0.5f * std::pow(10.0f, -6.0f / 20), 1e-6f);
}

// One audible sample anywhere (late in the second channel here) clears the silence flag.
TEST(PlatformUnits, OneLateSampleInTheSecondChannelIsAudible)
{
    DynamicsProcessorUnit unit;
    ASSERT_FALSE(unit.allocateRenderResources());
    std::vector<float> l(1000, 0.0f), r(1000, 0.0f);
    RenderActionFlags flags = renderFlags::outputIsSilence;
    EXPECT_EQ(renderOnce(unit, l, r, flags), 0);
    EXPECT_EQ(flags, renderFlags::outputIsSilence);
    r[999] = -1e-30f;
    EXPECT_EQ(renderOnce(unit, l, r, flags), 0);
    EXPECT_EQ(flags & renderFlags::outputIsSilence, 0u);
}

TEST(PlatformUnits, FormatsThatDifferOrAreInterleavedAreRefused)
{
    EqualizerUnit eq(31);
    eq.inputBus().setFormat(AudioFormat::standard(48000, 1));
    EXPECT_EQ(eq.allocateRenderResources(), UnitError::osStatus(status::formatNotSupported));
    AudioFormat interleaved = AudioFormat::standard(48000, 2);
    interleaved.interleaved = true;
    eq.inputBus().setFormat(interleaved);
    eq.outputBus().setFormat(interleaved);
    EXPECT_EQ(eq.allocateRenderResources(), UnitError::osStatus(status::formatNotSupported));
}

TEST(PlatformUnits, EqualizerParametersReachTheFilters)
{
    EqualizerUnit eq(12);
    eq.setType(3, EqualizerUnit::Type::highShelf);
    eq.setFrequency(3, 5000);
    eq.setBandwidth(3, 2);
    eq.setGain(3, -6);
    EXPECT_NEAR(eq.magnitudeDB(20000), -6, 0.2);
    eq.setBypass(3, true);
    EXPECT_NEAR(eq.magnitudeDB(20000), 0, 1e-9);
    eq.setBypass(3, false);
    eq.setGlobalGain(-3);
    EXPECT_NEAR(eq.magnitudeDB(20), -3, 0.01);
    float v = 0;
    EXPECT_EQ(eq.parameter(5000 + 3, v), 0);
    EXPECT_EQ(v, 2.0f);
    EXPECT_EQ(eq.setParameter(5000 + 12, 1), status::invalidParameter);
}

}  // namespace
}  // namespace quorel
