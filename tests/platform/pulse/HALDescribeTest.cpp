#include "HAL.h"

#include <gtest/gtest.h>

#include <pulse/def.h>

using namespace quorel;

TEST(HALDescribe, FourPrintableBytesShowAsCodeInApostrophes)
{
    EXPECT_EQ(HAL::describe(uint32_t(0x6E6F7065)), "'nope'");
    EXPECT_EQ(HAL::describe(uint32_t(0x20202020)), "'    '");
    EXPECT_EQ(HAL::describe(fourCharCode("dev#")), "'dev#'");
    EXPECT_EQ(HAL::describe(uint32_t(0x7E7E7E7E)), "'~~~~'");
}

TEST(HALDescribe, AnyUnprintableByteGivesTheUnsignedNumber)
{
    EXPECT_EQ(HAL::describe(uint32_t(0)), "0");
    EXPECT_EQ(HAL::describe(uint32_t(0x7F000000)), "2130706432");
    EXPECT_EQ(HAL::describe(uint32_t(0x6E6F701F)), "1852796959");  // last byte below the space
    EXPECT_EQ(HAL::describe(uint32_t(0x806E6F70)), "2154721136");  // first byte above ASCII
}

TEST(HALDescribe, NegativeErrorNumbersShowSignedWithTheSystemsWords)
{
    EXPECT_EQ(HAL::describe(int32_t(-110)), "-110 (Connection timed out)");
    EXPECT_EQ(HAL::describe(uint32_t(4294967186u)), "-110 (Connection timed out)");  // one rule for both forms
    EXPECT_EQ(HAL::describe(int32_t(-1)), "-1 (Operation not permitted)");
    EXPECT_EQ(HAL::describe(int32_t(-4000)), "-4000");        // an error number without words
    EXPECT_EQ(HAL::describe(int32_t(-10868)), "4294956428");  // beyond the error numbers

    EXPECT_EQ(HAL::describe(HAL::status::notRunning), "'stop'");
}

TEST(HALStatus, PulseErrorsMapToTheHardwareLayersStatuses)
{
    EXPECT_EQ(HAL::statusFromPulse(PA_OK), 0);
    EXPECT_EQ(HAL::statusFromPulse(PA_ERR_CONNECTIONREFUSED), HAL::status::notRunning);
    EXPECT_EQ(HAL::statusFromPulse(PA_ERR_CONNECTIONTERMINATED), HAL::status::notRunning);
    EXPECT_EQ(HAL::statusFromPulse(PA_ERR_NOENTITY), HAL::status::badObject);
    EXPECT_EQ(HAL::statusFromPulse(PA_ERR_ACCESS), HAL::status::permission);
    EXPECT_EQ(HAL::statusFromPulse(PA_ERR_TIMEOUT), HAL::status::unspecified);
}

TEST(HALStatus, TheSoundServersCodesReadAsTheirFourCharacters)
{
    EXPECT_EQ(HAL::describe(status::notRunning), "'stop'");
    EXPECT_EQ(HAL::describe(status::badObject), "'!obj'");
    EXPECT_EQ(HAL::describe(status::unknownProperty), "'who?'");
    EXPECT_EQ(HAL::describe(status::badPropertySize), "'!siz'");
    EXPECT_EQ(HAL::describe(status::unsupported), "'unop'");
    EXPECT_EQ(HAL::describe(status::permission), "'!hog'");
    EXPECT_EQ(HAL::describe(status::illegalOperation), "'nope'");
    EXPECT_EQ(HAL::describe(status::unspecified), "'what'");
}
