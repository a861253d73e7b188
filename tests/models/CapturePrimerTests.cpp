#include "CapturePrimer.h"
#include "ModelTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <optional>

using namespace quorel;

namespace {

// A stand-in player that records its argument and plays until the test lets it end.
QString writePlayer(const QString& folder)
{
    const QString path = folder + "/player";
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\n"
                 "echo \"$1\" >> \""
                 + folder.toUtf8()
                 + "/played\"\n"
                   "while [ ! -e \""
                 + folder.toUtf8()
                 + "/stop\" ]; do sleep 0.02; done\n"
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
    const unsigned char header[44] = {'R', 'I', 'F',  'F',  0x24, 0x77, 0x01, 0x00, 'W',  'A',  'V',
                                      'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,    0,
                                      2,   0,   0x80, 0xBB, 0,    0,    0x00, 0xEE, 0x02, 0x00, 4,
                                      0,   16,  0,    'd',  'a',  't',  'a',  0x00, 0x77, 0x01, 0x00};
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
    ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 1; }));
    EXPECT_FALSE(primer.isPlaying());
    primer.kick();
    EXPECT_EQ(primer.launches(), 2);
    ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 2; }));
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
    ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(readAll(file), QByteArray(96044, 'x'));  // reused without being read

    planted.open(QIODevice::WriteOnly);
    planted.write("short");
    planted.close();
    primer.kick();
    ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 2; }));
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

namespace {

// Sets an environment variable (none: unsets it) for the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<QString>& value) : name_(name), previous_(qgetenv(name))
    {
        had_ = qEnvironmentVariableIsSet(name);
        if (value)
            qputenv(name, value->toUtf8());
        else
            qunsetenv(name);
    }
    ~ScopedVariable()
    {
        if (had_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray previous_;
    bool had_ = false;
};

}  // namespace

TEST(CapturePrimer, TheFileLivesInTheUsersRuntimeFolderElseInAFolderOfItsOwn)
{
    quorel::test::TemporaryHome home;
    {
        ScopedVariable runtime("XDG_RUNTIME_DIR", home.path());
        EXPECT_EQ(CapturePrimer().filePath(), home.path() + "/quorel-silence.wav");
    }
    ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedVariable temporary("TMPDIR", home.path());
    CapturePrimer primer;
    const QFileInfo folder(QFileInfo(primer.filePath()).path());
    EXPECT_EQ(folder.dir().path(), home.path());
    EXPECT_NE(folder.filePath(), home.path());
    EXPECT_TRUE(folder.isDir());
    EXPECT_EQ(folder.permissions() & 0x0077, 0) << "readable or writable by others";
    EXPECT_EQ(primer.filePath(), primer.filePath());  // one folder for the primer's life
}

// Without a runtime folder (su, sudo, cron) a link planted in the shared temporary folder, or in
// the folder the file lives in, is never written through.
TEST(CapturePrimer, APlantedLinkIsNeverFollowed)
{
    quorel::test::TemporaryHome home;
    QFile(home.path() + "/stop").open(QIODevice::WriteOnly);
    const QString victim = home.path() + "/victim";
    for (const QByteArray& content : {QByteArray("precious"), QByteArray(96044, 'v')}) {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();

        ASSERT_TRUE(QDir().mkpath(home.path() + "/tmp"));
        QFile::remove(home.path() + "/tmp/quorel-silence.wav");
        ASSERT_TRUE(QFile::link(victim, home.path() + "/tmp/quorel-silence.wav"));
        {
            ScopedVariable runtime("XDG_RUNTIME_DIR", std::nullopt);
            ScopedVariable temporary("TMPDIR", home.path() + "/tmp");
            CapturePrimer primer({writePlayer(home.path()), std::nullopt});
            QSignalSpy finished(&primer, &CapturePrimer::finished);
            primer.kick();
            ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 1; }));
            EXPECT_EQ(readAll(primer.filePath()), CapturePrimer::silence());
            EXPECT_EQ(readAll(victim), content);
        }

        // A link where the file belongs in the folder given.
        QFile::remove(home.path() + "/quorel-silence.wav");
        ASSERT_TRUE(QFile::link(victim, home.path() + "/quorel-silence.wav"));
        CapturePrimer primer({writePlayer(home.path()), home.path()});
        QSignalSpy finished(&primer, &CapturePrimer::finished);
        primer.kick();
        ASSERT_TRUE(quorel::test::waitUntil([&] { return finished.count() == 1; }));
        EXPECT_EQ(readAll(victim), content);
        EXPECT_FALSE(QFileInfo(home.path() + "/quorel-silence.wav").isSymLink());
        EXPECT_EQ(readAll(home.path() + "/quorel-silence.wav"), CapturePrimer::silence());
        QFile::remove(home.path() + "/played");
    }
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
