#include "AudioComponentRegistry.h"
#include "AudioUnit.h"
#include "QREffects.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

// A unit with one parameter that copies its input.
class TableUnit : public AudioUnit {
public:
    explicit TableUnit(const AudioComponentDescription& description) : AudioUnit(description)
    {
        defineParameters(
            {{7, "Gain", -40, 40, 0, parameterUnit::decibels}, {9, "Time", 0.01f, 3, 0.1f, parameterUnit::seconds}});
    }

protected:
    Status internalRender(RenderActionFlags& flags, const AudioTimeStamp& timestamp, uint32_t frames, int64_t,
                          AudioBufferList& data, const PullInput& pull) noexcept override
    {
        return pull ? pull(flags, timestamp, frames, 0, data) : status::noConnection;
    }
};

constexpr AudioComponentDescription tableDescription{fourCharCode("aufx"), fourCharCode("tbl1"), fourCharCode("Test"),
                                                     0, 0};

TEST(AudioUnitHost, FourCharacterCodesAreBigEndian)
{
    EXPECT_EQ(fourCharCode("aufx"), 0x61756678u);
    EXPECT_EQ(fourCharCode("Qorl"), 0x516f726cu);
}

TEST(AudioUnitHost, ParameterTableAnswersRangesAndRefusesUnknownIds)
{
    TableUnit unit(tableDescription);
    const QRParameterBounds gain = QRReadParameterBounds(&unit, 7);
    EXPECT_EQ(gain.status, 0);
    EXPECT_EQ(gain.minimum, -40.0f);
    EXPECT_EQ(gain.maximum, 40.0f);
    EXPECT_EQ(gain.unit, parameterUnit::decibels);

    const QRParameterBounds missing = QRReadParameterBounds(&unit, 8);
    EXPECT_EQ(missing.status, status::invalidParameter);
    EXPECT_EQ(missing.minimum, 0.0f);
    EXPECT_EQ(missing.maximum, 0.0f);
    EXPECT_EQ(missing.unit, 0u);

    EXPECT_EQ(QRReadParameterBounds(nullptr, 7).status, status::parameterError);
}

TEST(AudioUnitHost, ParameterWritesAreClampedAndNotANumberRefused)
{
    TableUnit unit(tableDescription);
    float value = 1;
    ASSERT_EQ(unit.parameter(9, value), status::ok);
    EXPECT_FLOAT_EQ(value, 0.1f);
    EXPECT_EQ(unit.setParameter(7, 100), status::ok);
    unit.parameter(7, value);
    EXPECT_EQ(value, 40.0f);
    EXPECT_EQ(unit.setParameter(7, std::numeric_limits<float>::quiet_NaN()), status::parameterError);
    unit.parameter(7, value);
    EXPECT_EQ(value, 40.0f);
    EXPECT_EQ(unit.setParameter(3, 1), status::invalidParameter);
}

TEST(AudioUnitHost, FormatAndFrameLimitChangeOnlyWhileNotAllocated)
{
    TableUnit unit(tableDescription);
    EXPECT_EQ(unit.inputBus().format(), AudioFormat::standard(48000, 2));
    EXPECT_EQ(unit.maximumFramesToRender(), 4096u);
    EXPECT_EQ(unit.outputBus().setFormat(AudioFormat::standard(0, 2)), status::formatNotSupported);
    EXPECT_EQ(unit.outputBus().setFormat(AudioFormat::standard(44100, 0)), status::formatNotSupported);

    ASSERT_FALSE(unit.allocateRenderResources().failed());
    EXPECT_EQ(unit.outputBus().setFormat(AudioFormat::standard(44100, 2)), status::initialized);
    EXPECT_EQ(unit.setMaximumFramesToRender(512), status::initialized);
    unit.deallocateRenderResources();
    EXPECT_EQ(unit.setMaximumFramesToRender(512), status::ok);
}

TEST(AudioUnitHost, RenderBeforeAllocationIsRefused)
{
    TableUnit unit(tableDescription);
    AudioBufferList list;
    RenderActionFlags flags = 0;
    EXPECT_EQ(unit.render(flags, {}, 16, 0, list, {}), status::uninitialized);
}

TEST(AudioUnitHost, RegistryInstantiatesByDescriptionWithWildcards)
{
    auto& registry = AudioComponentRegistry::shared();
    registry.registerSubclass(
        [](const AudioComponentDescription& d) -> std::unique_ptr<AudioUnit> { return std::make_unique<TableUnit>(d); },
        tableDescription, "Test: Table", 3);

    auto unit = registry.instantiate(tableDescription);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->componentDescription(), tableDescription);

    const auto info = registry.find({0, fourCharCode("tbl1"), 0, 0, 0});
    ASSERT_TRUE(info);
    EXPECT_EQ(info->name, "Test: Table");
    EXPECT_EQ(info->version, 3u);

    EXPECT_FALSE(registry.instantiate({fourCharCode("aufx"), fourCharCode("none"), 0, 0, 0}));
}

}  // namespace
}  // namespace quorel
