#include "DesignCommands.h"

#include "NonRegularTargets.h"
#include "TestSupport.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;

TEST(Binary, ExportGlyphWritesTheFiveBarsOnATransparentGround)
{
    test::TemporaryHome home;
    QTemporaryDir dir;
    const QString path = dir.filePath("glyph.png");
    // The application may stay open after the export (it does once it has its window): wait for
    // the file, then end the process.
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.configHome());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUOREL_APP_BINARY), {"--export-glyph", path, "--preview"});
    ASSERT_TRUE(process.waitForStarted());
    for (int i = 0; i < 600 && !QFile::exists(path) && process.state() != QProcess::NotRunning; ++i)
        process.waitForFinished(100);
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished();
    }
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(144, 144));
    EXPECT_TRUE(image.hasAlphaChannel());
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(143, 143)), 0);
    // Along the middle row: five opaque black runs separated by transparent gaps.
    int runs = 0;
    bool inside = false;
    for (int x = 0; x < 144; ++x) {
        const QRgb p = image.pixel(x, 72);
        const bool bar = qAlpha(p) > 128;
        if (bar && !inside) ++runs;
        if (bar && qAlpha(p) == 255) {
            EXPECT_EQ(qGray(p), 0);
        }
        inside = bar;
    }
    EXPECT_EQ(runs, 5);
}

TEST(DesignCommands, ExportGlyphWithoutAPathWritesNothing)
{
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_EQ(DesignCommands::run({"quorel", "--export-glyph"}), 0);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    QDir::setCurrent(before);
    EXPECT_EQ(DesignCommands::run({"quorel", "--version"}), std::nullopt);
}

TEST(DesignCommands, ExportGlyphTakesTheNextArgumentWhateverItBeginsWith)
{
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QDir::setCurrent(dir.path());
    EXPECT_EQ(DesignCommands::run({"quorel", "--export-glyph", "--odd-name.png"}), 0);
    EXPECT_EQ(QImage(dir.filePath("--odd-name.png")).size(), QSize(144, 144));
    QDir::setCurrent(before);
}

// A glyph that can be written only part-way (the file size limit here; a full disk is the same)
// leaves the file that was there as it was.
TEST(DesignCommands, AGlyphCutShortKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("glyph.png");
    ASSERT_EQ(DesignCommands::run({"quorel", "--export-glyph", path}), 0);
    ASSERT_GT(QFileInfo(path).size(), 512);
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    EXPECT_EQ(
        test::exitCodeWithFileSizeLimit(512,
                                        [&] {
                                            return DesignCommands::run({"quorel", "--export-glyph", path}).value_or(-1);
                                        }),
        0);
    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll().toStdString(), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"glyph.png"});
}

// A FIFO, a device or a link to one at the path is refused and left as it is: a FIFO's reader
// is not left waiting for a file that replaced it, a device does not become a PNG.
TEST(DesignCommands, AGlyphOntoAFifoOrADeviceIsRefused)
{
    test::TemporaryHome home;
    QTemporaryDir dir;
    test::NonRegularTargets targets(dir.path());
    for (const QString& path : targets.all()) EXPECT_FALSE(DesignCommands::exportGlyph(path)) << path.toStdString();
    EXPECT_EQ(targets.changes(), QString());
}
