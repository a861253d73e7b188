#include "L10n.h"
#include "StringTables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(L10nRender, WithoutArgumentsTheTextStandsAsWritten) { EXPECT_EQ(renderEnglish("{0} LUFS", {}), "{0} LUFS"); }

TEST(L10nRender, NumbersTooLargeOrMalformedBracesStay)
{
    EXPECT_EQ(renderEnglish("x {12345678901234567890} y", {"A"}), "x {12345678901234567890} y");
    EXPECT_EQ(renderEnglish("{ 0} {-0} {} {0", {"A"}), "{ 0} {-0} {} {0");
    EXPECT_EQ(renderEnglish("{{0}}", {"A"}), "{A}");
    EXPECT_EQ(renderEnglish("{00}", {"A"}), "A");
}

TEST(L10nRender, ReplacementsAreNotScannedAgain) { EXPECT_EQ(renderEnglish("{0} and {1}", {"{1}", "B"}), "{1} and B"); }

TEST(L10nRender, AReasonInParenthesesEndsWithoutItsOwnFullStop)
{
    EXPECT_EQ(renderEnglish("Audio service was not restarted ({0}).", {"systemctl did not finish within 30 s."}),
              "Audio service was not restarted (systemctl did not finish within 30 s).");
    EXPECT_EQ(L10n::render("Audio service was not restarted ({0}).", {"systemctl did not finish within 30 s."},
                           AppLanguage::portuguese),
              QString::fromUtf8("O serviço de áudio não foi reiniciado (systemctl did not finish within 30 s)."));
    // Only right before the parenthesis, and an ellipsis stays whole.
    EXPECT_EQ(renderEnglish("({0}) {1}", {"Waiting...", "Done."}), "(Waiting...) Done.");
    EXPECT_EQ(renderEnglish("{0}: ({1})", {"A.", "B"}), "A.: (B)");
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

namespace {

// A folder of string tables written for one test.
class TableFolder {
public:
    void write(const QString& language, const QByteArray& text)
    {
        QDir(dir_.path()).mkpath(language + ".lproj");
        QFile file(dir_.path() + "/" + language + ".lproj/Localizable.strings");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

}  // namespace

TEST(L10nFallback, LanguageThenEnglishThenKey)
{
    TableFolder folder;
    folder.write("en", "\"preset.x\" = \"Warm\";\n\"Only English\" = \"Only English (en)\";\n");
    folder.write("pt-BR", "\"preset.x\" = \"Quente\";\n");
    const StringTables tables = StringTables::load(folder.path());
    EXPECT_EQ(tables.render("preset.x", {}, AppLanguage::portuguese), "Quente");
    EXPECT_EQ(tables.render("preset.x", {}, AppLanguage::english), "Warm");
    EXPECT_EQ(tables.render("Only English", {}, AppLanguage::portuguese), "Only English (en)");
    EXPECT_EQ(tables.render("Nowhere {0}", {"1"}, AppLanguage::portuguese), "Nowhere 1");
}

TEST(L10nFallback, MissingLanguageFolderIsNotAnError)
{
    TableFolder folder;
    folder.write("en", "\"a\" = \"b\";\n");
    testing::internal::CaptureStderr();
    const StringTables tables = StringTables::load(folder.path());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(tables.table(AppLanguage::portuguese), nullptr);
    EXPECT_EQ(tables.render("a", {}, AppLanguage::portuguese), "b");
}

TEST(L10nFallback, MissingTableFolderWarnsOnceAndShowsKeys)
{
    testing::internal::CaptureStderr();
    const StringTables tables = StringTables::load("/nonexistent/quorel/strings");
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find("/nonexistent/quorel/strings"), std::string::npos);
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
    EXPECT_EQ(tables.render("Round {0} of {1}", {"2", "6"}, AppLanguage::portuguese), "Round 2 of 6");
}

TEST(L10nFallback, MalformedLinesAreSkippedWithAWarning)
{
    TableFolder folder;
    folder.write("pt-BR", "\"good\" = \"bom\";\n\"bad\" = \"mau\"\n");
    testing::internal::CaptureStderr();
    const StringTables tables = StringTables::load(folder.path());
    EXPECT_NE(testing::internal::GetCapturedStderr().find("line 2"), std::string::npos);
    EXPECT_EQ(tables.render("good", {}, AppLanguage::portuguese), "bom");
    EXPECT_EQ(tables.render("bad", {}, AppLanguage::portuguese), "bad");
}
