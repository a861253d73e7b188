#include "StringTable.h"

#include <gtest/gtest.h>

using namespace quorel;

TEST(StringTable, ReadsEscapesAndSpacing)
{
    QStringList problems;
    const StringTable table = StringTable::parse("\xEF\xBB\xBF\"Say \\\"hi\\\"\" = \"Diga \\\"oi\\\"\";\n"
                                                 "  \"a\\\\b\"=\"c\\\\d\" ;  \n"
                                                 "\n"
                                                 "\"two\\nlines\" = \"duas\\nlinhas\";\n"
                                                 "\"Português\" = \"ação\";",
                                                 &problems);
    EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
    ASSERT_EQ(table.entries().size(), 4u);
    EXPECT_EQ(*table.find("Say \"hi\""), "Diga \"oi\"");
    EXPECT_EQ(*table.find("a\\b"), "c\\d");
    EXPECT_EQ(*table.find("two\nlines"), "duas\nlinhas");
    EXPECT_EQ(*table.find(QString::fromUtf8("Português")), QString::fromUtf8("ação"));
    EXPECT_EQ(table.find("missing"), nullptr);
}

TEST(StringTable, RejectsMalformedLinesByNumber)
{
    QStringList problems;
    const StringTable table = StringTable::parse("\"ok\" = \"fine\";\n"
                                                 "\"no semicolon\" = \"x\"\n"
                                                 "\"unknown escape\" = \"\\t\";\n"
                                                 "\"unterminated = \"x\";\n"
                                                 "\"trailing\" = \"x\"; junk\n"
                                                 "// a comment\n",
                                                 &problems);
    EXPECT_EQ(table.entries().size(), 1u);
    ASSERT_EQ(problems.size(), 5);
    EXPECT_TRUE(problems[0].startsWith("line 2"));
    EXPECT_TRUE(problems[4].startsWith("line 6"));
}
