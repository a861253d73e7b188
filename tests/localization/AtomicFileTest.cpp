#include "AtomicFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;
using test::fileBytes;

namespace {

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

TEST(AtomicFile, WritesTheWholeFileAndReplacesTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    ASSERT_TRUE(put(path, "old"));
    EXPECT_EQ(AtomicFile::write(path, "new contents"), std::nullopt);
    EXPECT_EQ(fileBytes(path), "new contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"});
}

TEST(AtomicFile, AFolderThatIsMissingIsAReasonNotACrash)
{
    QTemporaryDir dir;
    const std::optional<QString> reason = AtomicFile::write(dir.filePath("missing/a.txt"), "x");
    ASSERT_TRUE(reason.has_value());
    EXPECT_FALSE(reason->isEmpty());
}

// A write that runs out of room part-way (here the file size limit; a full disk is the same)
// fails and keeps the old file, even when the bytes fit the buffer and the failure only shows
// when they are flushed.
TEST(AtomicFile, AWriteCutShortKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    const QByteArray old(300, 'o');
    ASSERT_TRUE(put(path, old));
    for (const qsizetype size : {qsizetype(600), qsizetype(5000), qsizetype(100000)}) {
        const int code = test::exitCodeWithFileSizeLimit(
            512, [&] { return AtomicFile::write(path, QByteArray(size, 'n')).has_value() ? 1 : 0; });
        EXPECT_EQ(code, 1) << "a cut write was reported as saved, size " << size;
        EXPECT_EQ(fileBytes(path), old) << "size " << size;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"}) << "size " << size;
    }
    // Under the limit the same write goes through.
    EXPECT_EQ(test::exitCodeWithFileSizeLimit(512, [&] { return AtomicFile::write(path, "fits").has_value() ? 1 : 0; }),
              0);
    EXPECT_EQ(fileBytes(path), "fits");
}
