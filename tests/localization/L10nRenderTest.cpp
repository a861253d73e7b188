#include "L10n.h"
#include "StringTables.h"

#include <gtest/gtest.h>

using namespace quorel;

namespace {

QString renderEnglish(const QString& key, const QStringList& arguments)
{
    return L10n::render(key, arguments, AppLanguage::english);
}

}  // namespace

TEST(L10nRender, FillsNumberedPlaceholders)
{
    EXPECT_EQ(renderEnglish("Round {0} of {1}", {"2", "6"}), "Round 2 of 6");
    EXPECT_EQ(L10n::text("Round {0} of {1}", AppLanguage::english, "2", "6"), "Round 2 of 6");
}

TEST(L10nRender, RepeatsAndLeavesUnknownPlaceholders)
{
    EXPECT_EQ(renderEnglish("{0}{0} {1}", {"A"}), "AA {1}");
    EXPECT_EQ(renderEnglish("{1} word {0}", {"A", "B"}), "B word A");
}

TEST(L10nRender, WithoutArgumentsTheTextStandsAsWritten)
{
    EXPECT_EQ(renderEnglish("{0} LUFS", {}), "{0} LUFS");
}

TEST(L10nRender, NumbersTooLargeOrMalformedBracesStay)
{
    EXPECT_EQ(renderEnglish("x {12345678901234567890} y", {"A"}), "x {12345678901234567890} y");
    EXPECT_EQ(renderEnglish("{ 0} {-0} {} {0", {"A"}), "{ 0} {-0} {} {0");
    EXPECT_EQ(renderEnglish("{{0}}", {"A"}), "{A}");
    EXPECT_EQ(renderEnglish("{00}", {"A"}), "A");
}

TEST(L10nRender, ReplacementsAreNotScannedAgain)
{
    EXPECT_EQ(renderEnglish("{0} and {1}", {"{1}", "B"}), "{1} and B");
}

TEST(L10nRender, NonAsciiDigitsAreNotPlaceholders)
{
    // Arabic-Indic digit zero.
    EXPECT_EQ(renderEnglish(QString::fromUtf8("{\u0660}"), {"A"}), QString::fromUtf8("{\u0660}"));
}

TEST(L10nRender, PortugueseTableIsCompiledIn)
{
    EXPECT_EQ(L10n::render("No preset in this file.", {}, AppLanguage::portuguese),
              QString::fromUtf8("Nenhum preset neste arquivo."));
    EXPECT_EQ(L10n::render("No preset in this file.", {}, AppLanguage::english), "No preset in this file.");
}
