#include "NonRegularTargets.h"
#include "TestSupport.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

class PresetTool : public ::testing::Test {
protected:
    test::ToolRun run(const QStringList& arguments) { return test::runTool(arguments, home.configHome()); }
    test::TemporaryHome home;
};

}  // namespace

TEST_F(PresetTool, PresetsListsTheTableWithTwelveFields)
{
    const test::ToolRun result = run({"presets"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QJsonArray list = QJsonDocument::fromJson(result.out).array();
    ASSERT_EQ(list.size(), 22);
    EXPECT_EQ(list[0]["id"].toString(), QStringLiteral("builtin.neutral"));
    EXPECT_EQ(list[21]["id"].toString(), QStringLiteral("builtin.loudness-curve"));
    for (const QJsonValue& preset : list) EXPECT_EQ(preset.toObject().size(), 12);
}

TEST_F(PresetTool, ExportThenImport)
{
    const QString file = QDir(home.path()).filePath("movies.quorelpreset");
    const test::ToolRun exported = run({"preset-export", "builtin.movies", "--out", file});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();

    const test::ToolRun imported = run({"preset-import", file});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QJsonObject preset = QJsonDocument::fromJson(imported.out).object();
    EXPECT_TRUE(preset["id"].toString().startsWith(QStringLiteral("custom.")));
    EXPECT_EQ(preset["name"].toString(), QStringLiteral("Filmes"));

    // The imported preset is in the store: it exports by its id, into a folder under its name.
    const test::ToolRun again = run({"preset-export", preset["id"].toString(), "--out", home.path()});
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(home.path()).filePath("Filmes.quorelpreset")));
}

// An export that can be written only part-way (the file size limit here; a full disk is the
// same) fails and leaves the file that was there as it was.
TEST_F(PresetTool, AnExportCutShortKeepsTheOldFile)
{
    const QString file = QDir(home.path()).filePath("movies.quorelpreset");
    ASSERT_EQ(run({"preset-export", "builtin.movies", "--out", file}).exitCode, 0);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    ASSERT_GT(written.size(), 300);
    written.close();
    {
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    const test::ToolRun cut = test::runTool({"preset-export", "builtin.movies", "--out", file}, home.configHome(), 256);
    EXPECT_EQ(cut.exitCode, 1) << "a cut export was reported as written";
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll().toStdString(), "old");
}

// A FIFO, a device or a link to one at the path is refused and left as it is: never replaced by
// a regular file, never written into.
TEST_F(PresetTool, AnExportOntoAFifoOrADeviceIsRefused)
{
    test::NonRegularTargets targets(home.path());
    for (const QString& path : targets.all()) {
        const test::ToolRun refused = run({"preset-export", "builtin.movies", "--out", path});
        EXPECT_EQ(refused.exitCode, 1) << path.toStdString();
        EXPECT_EQ(refused.errors(), "Could not write " + path + ": The file " + path + " is not a regular file.");
    }
    EXPECT_EQ(targets.changes(), QString());
}

TEST_F(PresetTool, FailuresExitOneWithTheMessage)
{
    EXPECT_EQ(run({"preset-export", "builtin.nothing", "--out", home.path()}).exitCode, 1);
    const QString empty = QDir(home.path()).filePath("empty.json");
    QFile(empty).open(QIODevice::WriteOnly);
    const test::ToolRun refused = run({"preset-import", empty});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.trimmed(), QByteArray("No preset in this file."));
    EXPECT_FALSE(QFile::exists(QDir(home.configHome()).filePath("Quorel/Quorel.conf")));
}
