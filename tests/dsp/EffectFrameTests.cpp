#include "AllocationCounter.h"
#include "AudioComponentRegistry.h"
#include "QREffects.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRUtilityUnit.h"
#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace quorel {
namespace {

using test::prepareUnit;
using test::renderOnce;

struct UnitKind {
    const char* name;
    std::function<std::unique_ptr<EffectUnit>()> make;
    uint32_t delayAt48k;  // frames the unit delays its input by
};

std::vector<UnitKind> unitKinds()
{
    return {
        {"Utility", [] { return std::make_unique<QRUtilityUnit>(); }, 0},
        {"Limiter", [] { return std::make_unique<QRLimiterUnit>(); }, 239},
        {"Leveler", [] { return std::make_unique<QRLevelerUnit>(); }, 0},
    };
}

class EffectFrame : public ::testing::TestWithParam<UnitKind> {};

TEST_P(EffectFrame, RefusesFormatsOtherThanOneOrTwoEqualDeinterleavedFloatChannels)
{
    const auto refused = [](const AudioFormat& in, const AudioFormat& out) {
        auto unit = GetParam().make();
        EXPECT_EQ(unit->inputBus().setFormat(in), status::ok);
        EXPECT_EQ(unit->outputBus().setFormat(out), status::ok);
        EXPECT_EQ(unit->allocateRenderResources(), UnitError::osStatus(status::formatNotSupported));
        EXPECT_FALSE(unit->renderResourcesAllocated());
    };
    refused(AudioFormat::standard(48000, 3), AudioFormat::standard(48000, 3));
    refused({48000, 2, CommonFormat::float32, true}, {48000, 2, CommonFormat::float32, true});
    refused({48000, 2, CommonFormat::int16, false}, {48000, 2, CommonFormat::int16, false});
    refused(AudioFormat::standard(48000, 1), AudioFormat::standard(48000, 2));
    refused(AudioFormat::standard(44100, 2), AudioFormat::standard(48000, 2));

    auto mono = GetParam().make();
    EXPECT_TRUE(prepareUnit(*mono, 48000, 1));
}

TEST_P(EffectFrame, RenderContractStatusCodes)
{
    auto unit = GetParam().make();
    ASSERT_TRUE(prepareUnit(*unit, 48000, 2, 512));
    std::vector<float> left(600, 0.25f), right(600, 0.25f);
    float* out[2] = {left.data(), right.data()};
    const float* in[2] = {left.data(), right.data()};
    RenderActionFlags flags = 0;

    AudioBufferList list;
    list.numberBuffers = 2;
    EXPECT_EQ(unit->render(flags, {}, 64, 0, list, {}), status::noConnection);

    EXPECT_EQ(renderOnce(*unit, in, out, 2, 513, flags), status::tooManyFramesToProcess);
    EXPECT_EQ(left[0], 0.25f);  // untouched
    EXPECT_EQ(renderOnce(*unit, in, out, 1, 64, flags), status::formatNotSupported);
    EXPECT_EQ(renderOnce(*unit, in, out, 2, 512, flags), status::ok);

    // A failing pull's status comes back as it is, with nothing processed.
    std::vector<float> untouched(64, 0.5f);
    list.buffers[0].data = untouched.data();
    list.buffers[1].data = untouched.data();
    auto failing = [](RenderActionFlags&, const AudioTimeStamp&, uint32_t, int64_t, AudioBufferList&) -> Status {
        return -1234;
    };
    EXPECT_EQ(unit->render(flags, {}, 64, 0, list, failing), -1234);
    EXPECT_EQ(untouched[0], 0.5f);
}

TEST_P(EffectFrame, NullDataPointersRenderIntoTheUnitsOwnBuffers)
{
    auto unit = GetParam().make();
    ASSERT_TRUE(prepareUnit(*unit, 48000, 2, 256));
    const std::vector<float> input(256, 0.0f);
    const float* in[2] = {input.data(), input.data()};
    AudioBufferList list;
    RenderActionFlags flags = 0;
    ASSERT_EQ(renderOnce(*unit, in, nullptr, 2, 256, flags, &list), status::ok);
    for (uint32_t channel = 0; channel < 2; ++channel) {
        EXPECT_NE(list.buffers[channel].data, nullptr);
        EXPECT_EQ(list.buffers[channel].dataByteSize, 256u * 4u);
    }
    EXPECT_NE(list.buffers[0].data, list.buffers[1].data);
}

TEST_P(EffectFrame, InvalidSamplesComeOutAsZero)
{
    auto unit = GetParam().make();
    ASSERT_TRUE(prepareUnit(*unit, 48000, 2));
    const uint32_t delay = GetParam().delayAt48k;
    std::vector<float> signal(1024, 0.1f);
    signal[100] = std::numeric_limits<float>::quiet_NaN();
    signal[101] = std::numeric_limits<float>::infinity();
    signal[102] = -std::numeric_limits<float>::infinity();
    const test::Channels output = test::renderThrough(*unit, {signal, signal}, 256);
    for (const auto& channel : output) {
        for (size_t i = 0; i < channel.size(); ++i) ASSERT_TRUE(std::isfinite(channel[i])) << i;
        EXPECT_EQ(channel[100 + delay], 0.0f);
        EXPECT_EQ(channel[102 + delay], 0.0f);
        EXPECT_NE(channel[103 + delay], 0.0f);
    }
}

TEST_P(EffectFrame, SilenceFlagIsClearedOnlyByAudibleOutput)
{
    auto unit = GetParam().make();
    ASSERT_TRUE(prepareUnit(*unit, 48000, 2));
    std::vector<float> buffer(512, 0.0f);
    const float* in[2] = {buffer.data(), buffer.data()};
    std::vector<float> outLeft(512), outRight(512);
    float* out[2] = {outLeft.data(), outRight.data()};

    RenderActionFlags flags = renderFlags::outputIsSilence;
    ASSERT_EQ(renderOnce(*unit, in, out, 2, 512, flags), status::ok);
    EXPECT_EQ(flags, renderFlags::outputIsSilence);

    buffer.assign(512, 0.3f);
    flags = renderFlags::outputIsSilence | 1u;
    ASSERT_EQ(renderOnce(*unit, in, out, 2, 512, flags), status::ok);
    EXPECT_EQ(flags, 1u);
}

TEST_P(EffectFrame, OutOfMemoryAtAllocationReportsPosixTwelveAndFreesEverything)
{
    auto unit = GetParam().make();
    unit->inputBus().setFormat(AudioFormat::standard(48000, 2));
    for (uint64_t allowed = 0; allowed < 16; ++allowed) {
        UnitError error;
        {
            test::AllocationFailure failure(allowed);
            error = unit->allocateRenderResources();
        }
        if (!error.failed()) {
            EXPECT_TRUE(unit->renderResourcesAllocated());
            break;  // enough memory for everything the unit needs
        }
        EXPECT_EQ(error, UnitError::outOfMemory());
        EXPECT_FALSE(unit->renderResourcesAllocated());
    }
    EXPECT_FALSE(unit->allocateRenderResources().failed());
}

TEST_P(EffectFrame, AbsurdlyLowSampleRatesStillRenderFiniteSamples)
{
    // A 100 ms loudness bin at 2 Hz would be 0 frames long without a floor of one frame.
    for (double rate : {2.0, 1.0, 0.25}) {
        auto unit = GetParam().make();
        ASSERT_TRUE(prepareUnit(*unit, rate, 2, 64));
        const test::Channels out =
            test::renderThrough(*unit, {test::whiteNoise(1.0, 200, 4), test::whiteNoise(1.0, 200, 5)}, 64);
        for (const auto& channel : out)
            for (float sample : channel) ASSERT_TRUE(std::isfinite(sample)) << rate;
    }
}

TEST_P(EffectFrame, ExactlyCapacityFramesRender)
{
    auto unit = GetParam().make();
    ASSERT_TRUE(prepareUnit(*unit, 48000, 1));
    EXPECT_EQ(unit->capacity(), 4096u);
    std::vector<float> buffer(4096, 0.2f);
    const float* in[1] = {buffer.data()};
    float* out[1] = {buffer.data()};
    RenderActionFlags flags = 0;
    EXPECT_EQ(renderOnce(*unit, in, out, 1, 4096, flags), status::ok);
    EXPECT_EQ(renderOnce(*unit, in, out, 1, 4097, flags), status::tooManyFramesToProcess);
}

INSTANTIATE_TEST_SUITE_P(Units, EffectFrame, ::testing::ValuesIn(unitKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EffectRegistration, RegistersOnceAndReturnsEqualDescriptions)
{
    const AudioComponentDescription first = QRRegisterLimiterUnit();
    const AudioComponentDescription second = QRRegisterLimiterUnit();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.componentType, fourCharCode("aufx"));
    EXPECT_EQ(first.componentSubType, fourCharCode("cvlm"));
    EXPECT_EQ(first.componentManufacturer, fourCharCode("Qorl"));
    EXPECT_EQ(first.componentFlags, 0u);
    EXPECT_EQ(first.componentFlagsMask, 0u);

    QRRegisterUtilityUnit();
    QRRegisterLevelerUnit();
    QRRegisterUtilityUnit();
    int limiters = 0;
    for (const AudioComponentInfo& info : AudioComponentRegistry::shared().components()) {
        if (info.description == first) {
            ++limiters;
            EXPECT_EQ(info.name, "Quorel: Limiter");
            EXPECT_EQ(info.version, 1u);
        }
    }
    EXPECT_EQ(limiters, 1);
}

TEST(EffectRegistration, InstantiatesTheRegisteredClassByDescription)
{
    auto utility = AudioComponentRegistry::shared().instantiate(QRRegisterUtilityUnit());
    EXPECT_NE(dynamic_cast<QRUtilityUnit*>(utility.get()), nullptr);
    EXPECT_EQ(AudioComponentRegistry::shared().find(QRRegisterUtilityUnit())->name, "Quorel: Utility");
    auto leveler = AudioComponentRegistry::shared().instantiate(QRRegisterLevelerUnit());
    EXPECT_NE(dynamic_cast<QRLevelerUnit*>(leveler.get()), nullptr);
    EXPECT_EQ(leveler->componentDescription().componentSubType, fourCharCode("qrlv"));
}

TEST(EffectParameters, SurviveAllocationResetAndDeallocation)
{
    QRLimiterUnit limiter;
    limiter.configureCeiling(0.5f, 0.002f, 0.3f);
    QRUtilityUnit utility;
    utility.setGain(2);
    utility.configureDelay(10, 0.7f);
    QRLevelerUnit leveler;
    leveler.configureStrength(0.6f, -20);
    for (AudioUnit* unit : std::initializer_list<AudioUnit*>{&limiter, &utility, &leveler}) {
        ASSERT_TRUE(prepareUnit(*unit, 44100, 2));
        unit->reset();
        unit->deallocateRenderResources();
    }
    EXPECT_EQ(limiter.state().parameters.latest().ceiling, 0.5f);
    EXPECT_EQ(limiter.state().parameters.latest().lookaheadSeconds, 0.002f);
    EXPECT_EQ(limiter.state().parameters.latest().releaseSeconds, 0.3f);
    EXPECT_EQ(utility.state().parameters.latest().targetGain, 2.0f);
    EXPECT_EQ(utility.state().parameters.latest().delayFrames, 10u);
    EXPECT_EQ(utility.state().parameters.latest().ceiling, 0.7f);
    EXPECT_EQ(leveler.state().parameters.latest().strength, 0.6f);
    EXPECT_EQ(leveler.state().parameters.latest().target, -20.0f);
}

}  // namespace
}  // namespace quorel
