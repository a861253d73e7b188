#include "TestSupport.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace quorel::test;

namespace {

QJsonObject object(const ToolRun& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return QJsonDocument::fromJson(run.out).object();
}

QList<QJsonObject> lines(const ToolRun& run)
{
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QList<QJsonObject> result;
    for (const QByteArray& line : run.out.split('\n'))
        if (!line.isEmpty()) result.append(QJsonDocument::fromJson(line).object());
    return result;
}

TEST(RootTool, UrlRunsTheCommandsInOrderOnTheStoredSettings)
{
    TemporaryHome home;
    QJsonObject state = object(runTool(
        {"url", "quorel://boost/2,5", "quorel://tab/Output", "quorel://preset/rock", "quorel://nonsense", "https://on"},
        home.configHome()));
    EXPECT_DOUBLE_EQ(state["settings"].toObject()["boostDB"].toDouble(), 2.5);
    EXPECT_EQ(state["tab"].toString(), "output");
    EXPECT_EQ(state["selectedPresetID"].toString(), "builtin.rock");
    EXPECT_TRUE(state["processed"].toBool());
    EXPECT_TRUE(state["activeChoice"].isNull());
    EXPECT_TRUE(state["error"].isNull());

    // The next run starts from what the first stored.
    state = object(runTool({"url", "quorel://boost/up", "quorel://on", "quorel://compare"}, home.configHome()));
    EXPECT_DOUBLE_EQ(state["settings"].toObject()["boostDB"].toDouble(), 3.5);
    EXPECT_EQ(state["activeChoice"].toBool(), true);
    EXPECT_FALSE(state["processed"].toBool());
    EXPECT_EQ(state["tab"].toString(), "output");

    state = object(runTool({"url", "file:///nowhere/missing.quorelpreset"}, home.configHome()));
    EXPECT_TRUE(state["error"].toString().startsWith("Could not import the preset: "));
    EXPECT_EQ(runTool({"url"}, home.configHome()).exitCode, 1);
}

TEST(RootTool, AutomationPrintsOneLinePerStep)
{
    TemporaryHome home;
    const QList<QJsonObject> steps = lines(runTool(
        {"automation", "--at", "21:00", "--rule", "vlc=builtin.movies", "--front", "vlc", "--front", "gedit", "--night",
         "22:00-07:00=builtin.movies-night", "--at", "23:30", "--at", "07:00", "--remove-rule", "vlc"},
        home.configHome()));
    ASSERT_EQ(steps.size(), 8);
    EXPECT_EQ(steps[0]["step"].toString(), "--at 21:00");
    EXPECT_TRUE(steps[1]["activeRule"].isNull());
    EXPECT_EQ(steps[2]["activeRule"].toString(), "vlc");
    EXPECT_EQ(steps[2]["selectedPresetID"].toString(), "builtin.movies");
    EXPECT_TRUE(steps[3]["activeRule"].isNull());
    EXPECT_EQ(steps[3]["settings"], steps[0]["settings"]);
    EXPECT_FALSE(steps[4]["nightActive"].toBool());
    EXPECT_TRUE(steps[5]["nightActive"].toBool());
    EXPECT_EQ(steps[5]["selectedPresetID"].toString(), "builtin.movies-night");
    EXPECT_FALSE(steps[6]["nightActive"].toBool());
    EXPECT_EQ(steps[6]["settings"], steps[0]["settings"]);

    EXPECT_EQ(runTool({"automation", "--night", "25:00-07:00=x"}, home.configHome()).exitCode, 1);
    EXPECT_EQ(runTool({"automation", "--rule", "novalue"}, home.configHome()).exitCode, 1);
    EXPECT_EQ(runTool({"automation", "--fly", "x"}, home.configHome()).exitCode, 1);
}

TEST(RootTool, AutomationSaysWhenItsChangeCouldNotBeStored)
{
    TemporaryHome home;
    ASSERT_TRUE(QDir().mkpath(home.configHome() + "/Quorel/Quorel.conf"));  // a folder where the file belongs
    const ToolRun run = runTool({"automation", "--rule", "vlc=builtin.movies"}, home.configHome());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Could not save the settings file")) << run.err.toStdString();
}

TEST(RootTool, BlindTestIsReproducibleFromItsSeed)
{
    TemporaryHome home;
    const QJsonObject first =
        object(runTool({"blind-test", "--seed", "42", "--answers", "A,B,-,A,A"}, home.configHome()));
    const QJsonObject again =
        object(runTool({"blind-test", "--seed", "42", "--answers", "A,B,-,A,A"}, home.configHome()));
    EXPECT_EQ(first, again);
    const QJsonArray assignment = first["processedIsA"].toArray();
    ASSERT_EQ(assignment.size(), 5);
    // Count what the answers must give under the printed assignment.
    const QStringList answers{"A", "B", "-", "A", "A"};
    int processed = 0, original = 0;
    for (int i = 0; i < 5; ++i) {
        if (answers[i] == "-") continue;
        ((answers[i] == "A") == assignment[i].toBool() ? processed : original)++;
    }
    EXPECT_EQ(first["preferredProcessed"].toInt(), processed);
    EXPECT_EQ(first["preferredOriginal"].toInt(), original);
    EXPECT_EQ(first["undecided"].toInt(), 1);
    EXPECT_EQ(first["phase"].toString(), "done");
    EXPECT_EQ(first["round"].toInt(), 4);
    EXPECT_TRUE(first["processed"].toBool());
    EXPECT_TRUE(first["summary"].toString().startsWith("You preferred processed audio in"));

    const QJsonObject partial = object(runTool({"blind-test", "--seed", "1", "--answers", "A,-"}, home.configHome()));
    EXPECT_EQ(partial["phase"].toString(), "running");
    EXPECT_EQ(partial["round"].toInt(), 2);
    EXPECT_EQ(runTool({"blind-test", "--seed", "1", "--answers", "A,C"}, home.configHome()).exitCode, 1);
    EXPECT_EQ(runTool({"blind-test", "--answers", "A"}, home.configHome()).exitCode, 1);
    // A simulated test leaves the stored on/off choice alone.
    EXPECT_TRUE(object(runTool({"url", "quorel://nothing"}, home.configHome()))["activeChoice"].isNull());
}

TEST(RootTool, AppsWithoutADisplayIsUnavailable)
{
    TemporaryHome home;
    qunsetenv("DISPLAY");
    const QJsonObject apps = object(runTool({"apps"}, home.configHome()));
    EXPECT_FALSE(apps["available"].toBool());
    EXPECT_TRUE(apps["front"].isNull());
    EXPECT_TRUE(apps["running"].toArray().isEmpty());
}

}  // namespace

// The URL commands of the tool on a store that cannot be written: each change that could not be
// stored is said, the tool fails, and the old file stays as it was.
TEST(RootTool, UrlFailsWhenItsChangesCouldNotBeStored)
{
    TemporaryHome home;
    const QString path = home.configHome() + "/Quorel/Quorel.conf";
    ASSERT_EQ(runTool({"url", "quorel://tab/boost"}, home.configHome()).exitCode, 0);
    const QByteArray before = fileBytes(path);
    const QStringList changes{"quorel://boost/7", "quorel://tab/equalizer", "quorel://preset/builtin.movies",
                              "quorel://boost/8"};
    // A full disk (the file size limit stands in for it), and where chattr works, an immutable file.
    std::vector<ToolRun> runs{runTool(QStringList{"url"} + changes, home.configHome(), 1)};
    if (setImmutable(path, true)) {
        runs.push_back(runTool(QStringList{"url"} + changes, home.configHome()));
        runs.push_back(runTool({"url", "quorel://boost/up"}, home.configHome()));
        setImmutable(path, false);
    }
    for (const ToolRun& run : runs) {
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("Could not save the settings file " + path.toUtf8() + "."))
            << run.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(run.out).object()["error"].toString(),
                  "Could not save the settings file " + path + ".");
    }
    EXPECT_GE(runs.front().err.count("Could not save the settings file"), 4);
    EXPECT_EQ(fileBytes(path), before);
}

// A store with a line QSettings cannot read (here a key without "="): the change is saved, the
// file as it was is kept beside it once, and the tab it held stays.
TEST(RootTool, UrlSavesOnAStoreWithADamagedLine)
{
    TemporaryHome home;
    const QString folder = home.configHome() + "/Quorel";
    const QByteArray damaged = "[General]\nCorvanta.Tab.v1=equalizer\nfoo\n";
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile file(folder + "/Quorel.conf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(damaged);
    file.close();
    for (const char* boost : {"quorel://boost/4", "quorel://boost/5"}) {
        const QJsonObject state = object(runTool({"url", boost}, home.configHome()));
        EXPECT_TRUE(state["error"].isNull()) << state["error"].toString().toStdString();
        EXPECT_EQ(state["tab"].toString(), "equalizer");
    }
    const QJsonObject state = object(runTool({"url", "quorel://nothing"}, home.configHome()));
    EXPECT_DOUBLE_EQ(state["settings"].toObject()["boostDB"].toDouble(), 5);
    const QStringList copies = QDir(folder).entryList({"Quorel.conf.damaged-*"}, QDir::Files);
    ASSERT_EQ(copies.size(), 1) << copies.join(", ").toStdString();
    EXPECT_EQ(fileBytes(folder + "/" + copies.first()), damaged);
}

// A folder where a lock file of the store goes: the change fails within seconds with the save
// error, where it used to wait for ever (runTool kills a run after a minute: exit code -1).
TEST(RootTool, UrlFailsWhenALockOfTheStoreCannotBeTaken)
{
    for (const char* lock : {"Quorel.conf.lock", "Quorel.conf.update-lock"}) {
        TemporaryHome home;
        const QString path = home.configHome() + "/Quorel/Quorel.conf";
        ASSERT_TRUE(QDir().mkpath(home.configHome() + "/Quorel/" + lock));
        const ToolRun run = runTool({"url", "quorel://boost/5"}, home.configHome());
        EXPECT_EQ(run.exitCode, 1) << lock << ": " << run.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(run.out).object()["error"].toString(),
                  "Could not save the settings file " + path + ".")
            << lock;
    }
}
