// A failure of the audio platform reads as this system's message in both languages, with its code.
#include "PlatformFailure.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(PlatformFailure, TheMessageKeepsTheCodeInBothLanguages)
{
    const LocalizedMessage status = platformFailureMessage(UnitError::osStatus(-10851));
    EXPECT_EQ(status.localized(AppLanguage::english), "The operation could not be completed (error -10851).");
    EXPECT_EQ(status.localized(AppLanguage::portuguese),
              QString::fromUtf8("Não foi possível concluir a operação (erro -10851)."));
    const LocalizedMessage posix = platformFailureMessage(UnitError::outOfMemory());
    EXPECT_EQ(posix.localized(AppLanguage::english),
              QString("The operation could not be completed (POSIX error %1).").arg(UnitError::outOfMemory().code));
    EXPECT_EQ(
        posix.localized(AppLanguage::portuguese),
        QString::fromUtf8("Não foi possível concluir a operação (erro POSIX %1).").arg(UnitError::outOfMemory().code));
    EXPECT_FALSE(platformFailure(UnitError::osStatus(-50)).description().contains("OSStatus"));
}
