#include "DesktopEntryIndex.h"
#include "TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace quorel;

TEST(DesktopFile, PassesDesktopFileValidate)
{
    const QString path = test::sourcePath("resources/app.quorel.Quorel.desktop");
    QProcess validate;
    validate.start("desktop-file-validate", {path});
    ASSERT_TRUE(validate.waitForFinished(30000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().constData()
                                      << validate.readAllStandardError().constData();
    EXPECT_TRUE(validate.readAllStandardOutput().trimmed().isEmpty());
}

TEST(DesktopFile, OpensTheURLSchemesWithTheApplication)
{
    const QString path = test::sourcePath("resources/app.quorel.Quorel.desktop");
    const auto entry = DesktopEntryIndex::parse(path, "app.quorel.Quorel", "C");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Quorel");
    EXPECT_EQ(entry->icon, "app.quorel.Quorel");
    EXPECT_EQ(entry->program, "quorel");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("\nExec=quorel %U\n"));
    EXPECT_TRUE(
        text.contains("\nMimeType=x-scheme-handler/quorel;x-scheme-handler/corvanta;application/x-quorel-preset;\n"));
}
