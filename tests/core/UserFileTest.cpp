#include "UserFile.h"

#include "NonRegularTargets.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;

// Writing for the user: a new path or a regular file (also through a link) may be written;
// anything else is refused by name and left as it is.
TEST(UserFile, OnlyANewPathOrARegularFileMayBeWritten)
{
    test::TemporaryHome home;  // English
    QTemporaryDir dir;
    const QString regular = dir.filePath("regular.txt");
    ASSERT_TRUE(QFile(regular).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(regular, dir.filePath("link-to-regular")));
    EXPECT_FALSE(UserFile::refusedTarget(dir.filePath("new.txt")));
    EXPECT_FALSE(UserFile::refusedTarget(regular));
    EXPECT_FALSE(UserFile::refusedTarget(dir.filePath("link-to-regular")));
    EXPECT_FALSE(UserFile::refusedTarget(dir.filePath("missing/new.txt")));  // the write tells why not

    test::NonRegularTargets targets(dir.path());
    // The real null device is only looked at, never handed to a write.
    for (const QString& path : targets.all() + QStringList{dir.path(), "/dev/null"}) {
        const std::optional<LocalizedMessage> refused = UserFile::refusedTarget(path);
        ASSERT_TRUE(refused) << path.toStdString();
        EXPECT_EQ(refused->localized(AppLanguage::english), "The file " + path + " is not a regular file.");
        EXPECT_EQ(refused->localized(AppLanguage::portuguese), "O arquivo " + path + " não é um arquivo comum.");
    }
    for (const QString& path : targets.all())
        EXPECT_EQ(UserFile::write(path, "bytes"), "The file " + path + " is not a regular file.");
    EXPECT_EQ(targets.changes(), QString());

    EXPECT_EQ(UserFile::write(dir.filePath("link-to-regular"), "bytes"), std::nullopt);
    EXPECT_EQ(test::fileBytes(regular), "bytes");
}
