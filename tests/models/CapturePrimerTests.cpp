#include "CapturePrimer.h"
#include "ModelTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// A stand-in player that records its argument and plays until the test lets it end.
QString writePlayer(const QString& folder)
{
    const QString path = folder + "/player";
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\n"
                 "echo \"$1\" >> \"" + folder.toUtf8() + "/played\"\n"
                 "while [ ! -e \"" + folder.toUtf8() + "/stop\" ]; do sleep 0.02; done\n"
                 "echo noise; echo noise >&2\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

}  // namespace

TEST(CapturePrimer, TheSilentFileHasTheExactBytes)
{
    const QByteArray bytes = CapturePrimer::silence();
    ASSERT_EQ(bytes.size(), 96044);
    const unsigned char header[44] = {'R', 'I', 'F', 'F', 0x24, 0x77, 0x01, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                      16, 0, 0, 0, 1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0x00,
                                      4, 0, 16, 0, 'd', 'a', 't', 'a', 0x00, 0x77, 0x01, 0x00};
    EXPECT_EQ(bytes.left(44), QByteArray(reinterpret_cast<const char*>(header), 44));
    EXPECT_EQ(bytes.mid(44).count('\0'), 96000);
}

TEST(CapturePrimer, OnePlayerAtATimeThenTheNext)
{
    quorel::test::TemporaryHome home;
    CapturePrimer primer({writePlayer(home.path()), home.path()});
    QSignalSpy finished(&primer, &CapturePrimer::finished);
    primer.kick();
    primer.kick();
    EXPECT_TRUE(primer.isPlaying());
    EXPECT_EQ(primer.kicks(), 2);
    EXPECT_EQ(primer.launches(), 1);
    QFile(home.path() + "/stop").open(QIODevice::WriteOnly);
    ASSERT_TRUE(quorel::test::spinUntil([&] { return finished.count() == 1; }));
    EXPECT_FALSE(primer.isPlaying());
    primer.kick();
    EXPECT_EQ(primer.launches(), 2);
    ASSERT_TRUE(quorel::test::spinUntil([&] { return finished.count() == 2; }));
    const QString file = home.path() + "/quorel-silence.wav";
    EXPECT_EQ(readAll(home.path() + "/played"), (file + "\n" + file + "\n").toUtf8());
    EXPECT_EQ(readAll(file), CapturePrimer::silence());
}

TEST(CapturePrimer, AFileOfTheRightSizeIsKeptAndAnyOtherReplaced)
{
    quorel::test::TemporaryHome home;
    QFile(home.path() + "/stop").open(QIODevice::WriteOnly);
    const QString file = home.path() + "/quorel-silence.wav";
    CapturePrimer primer({writePlayer(home.path()), home.path()});
    QSignalSpy finished(&primer, &CapturePrimer::finished);

    QFile planted(file);
    planted.open(QIODevice::WriteOnly);
    planted.write(QByteArray(96044, 'x'));
    planted.close();
    primer.kick();
    ASSERT_TRUE(quorel::test::spinUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(readAll(file), QByteArray(96044, 'x'));  // reused without being read

    planted.open(QIODevice::WriteOnly);
    planted.write("short");
    planted.close();
    primer.kick();
    ASSERT_TRUE(quorel::test::spinUntil([&] { return finished.count() == 2; }));
    EXPECT_EQ(readAll(file), CapturePrimer::silence());
}

TEST(CapturePrimer, WithoutAPlayerNothingIsWrittenOrRun)
{
    quorel::test::TemporaryHome home;
    CapturePrimer primer({home.path() + "/missing", home.path()});
    primer.kick();
    EXPECT_FALSE(primer.isPlaying());
    EXPECT_EQ(primer.launches(), 0);
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/quorel-silence.wav"));
}

TEST(CapturePrimer, TheFileLivesInTheUsersRuntimeFolder)
{
    quorel::test::TemporaryHome home;
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    EXPECT_EQ(CapturePrimer().filePath(), home.path() + "/quorel-silence.wav");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(CapturePrimer().filePath(), QDir::tempPath() + "/quorel-silence.wav");
    if (!previous.isEmpty()) qputenv("XDG_RUNTIME_DIR", previous);
}

TEST(CapturePrimer, AnUnwritableFolderPlaysNothing)
{
    quorel::test::TemporaryHome home;
    QFile(home.path() + "/stop").open(QIODevice::WriteOnly);
    CapturePrimer primer({writePlayer(home.path()), home.path() + "/no/such/folder"});
    primer.kick();
    EXPECT_EQ(primer.launches(), 0);
    EXPECT_FALSE(primer.isPlaying());
}
