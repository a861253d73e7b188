#include "L10n.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorel;

namespace {

void expectNumbers()
{
    EXPECT_EQ(L10n::number(1.25f, 1, AppLanguage::portuguese), "1,2");  // "%.1f" rounds half to even
    EXPECT_EQ(L10n::number(1.25f, 2, AppLanguage::english), "1.25");
    EXPECT_EQ(L10n::number(3, 0, AppLanguage::english), "3");
    EXPECT_EQ(L10n::number(-0.5f, 1, AppLanguage::portuguese), "-0,5");
    EXPECT_EQ(L10n::number(12345.5f, 1, AppLanguage::english), "12345.5");  // no grouping
    EXPECT_EQ(L10n::number(12345.5f, 1, AppLanguage::portuguese), "12345,5");
    EXPECT_EQ(L10n::number(0.1f, 10, AppLanguage::english), "0.1000000015");  // the float widened
}

}  // namespace

TEST(L10nNumber, FormatsIndependentlyOfTheProcessLocale)
{
    expectNumbers();
    for (const char* name : {"pt_BR.UTF-8", "de_DE.UTF-8"}) {
        test::ProcessLocale locale(name);
        ASSERT_TRUE(locale.active()) << name << " is not installed (scripts/install-deps makes it)";
        SCOPED_TRACE(name);
        expectNumbers();
    }
}

TEST(L10nNumber, OddDigitCountsAndValues)
{
    EXPECT_EQ(L10n::number(2.5f, -1, AppLanguage::english), "2.500000");  // as printf: six digits
    EXPECT_EQ(L10n::number(1, 1000, AppLanguage::english).size(), 102);   // capped at 100 digits
    EXPECT_EQ(L10n::number(std::numeric_limits<float>::max(), 0, AppLanguage::english),
              "340282346638528859811704183484516925440");
    EXPECT_EQ(L10n::number(std::numeric_limits<float>::infinity(), 1, AppLanguage::portuguese), "inf");
}

TEST(L10nNumber, AZeroResultHasNoMinus)
{
    EXPECT_EQ(L10n::number(-0.0f, 1, AppLanguage::english), "0.0");
    EXPECT_EQ(L10n::number(-0.04f, 1, AppLanguage::english), "0.0");
    EXPECT_EQ(L10n::number(-0.04f, 1, AppLanguage::portuguese), "0,0");
    EXPECT_EQ(L10n::number(-0.4f, 0, AppLanguage::english), "0");
    EXPECT_EQ(L10n::number(-0.05f, 1, AppLanguage::english), "-0.1");  // -0.0500000007 rounds away
    EXPECT_EQ(L10n::number(-0.04f, 2, AppLanguage::english), "-0.04");
    EXPECT_EQ(L10n::number(-10.0f, 0, AppLanguage::english), "-10");
    EXPECT_EQ(L10n::number(-std::numeric_limits<float>::infinity(), 1, AppLanguage::english), "-inf");
}
