#include "ShellHarness.h"

#include "MainWindow.h"
#include "NonRegularTargets.h"
#include "OnboardingState.h"
#include "StartupOptions.h"
#include "StartupTask.h"
#include "StatisticsLine.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

using namespace quorel;

TEST(StartupOptions, HelpListsEveryOptionAndIsNeverAnOptionsValue)
{
    EXPECT_TRUE(StartupOptions::asksForHelp({"quorel", "--help"}));
    EXPECT_TRUE(StartupOptions::asksForHelp({"quorel", "--system", "-h"}));
    EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", "--snapshot", "--help"}));
    EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", "--system"}));
    const QString help = StartupOptions::helpText();
    for (const char* option : {"--system", "--preview", "--no-prime", "--check-controls", "--log-stats [FILE]",
                               "--export-glyph FILE", "--snapshot FILE", "--version", "--help", "quorel:URL", "FILE"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
}

TEST(StartupOptions, ValuesAreTheNextArgumentAndNeverFiles)
{
    const StartupOptions a = StartupOptions::parse({"quorel", "--snapshot", "--weird.png", "--log-stats", "--system",
                                                    "quorel://on", "notes.quorelpreset", "--export-glyph", "g.png",
                                                    "corvanta://toggle", "--snapshot", "second.png"});
    EXPECT_EQ(a.snapshotPath, QString("--weird.png"));  // taken whatever it begins with
    EXPECT_TRUE(a.logStats);
    EXPECT_FALSE(a.logStatsPath);  // "--"-prefixed: standard output
    EXPECT_TRUE(a.system);
    EXPECT_EQ(a.exportGlyphPath, QString("g.png"));
    ASSERT_EQ(a.urls.size(), 3);
    EXPECT_EQ(a.urls[0], QUrl("quorel://on"));
    EXPECT_TRUE(a.urls[1].isLocalFile());
    EXPECT_TRUE(a.urls[1].toLocalFile().endsWith("/notes.quorelpreset"));
    EXPECT_EQ(a.urls[2], QUrl("corvanta://toggle"));  // "second.png" is a value, not a file

    const StartupOptions b = StartupOptions::parse({"quorel", "--log-stats", "stats.txt", "--snapshot"});
    EXPECT_EQ(b.logStatsPath, QString("stats.txt"));
    EXPECT_FALSE(b.snapshotPath);  // a missing value does nothing
    EXPECT_TRUE(b.urls.isEmpty());
    EXPECT_FALSE(StartupOptions::parse({"quorel", "--System", "--preview=1"}).system);
    EXPECT_TRUE(StartupOptions::parse({"quorel", "--preview"}).standsAlone());
    EXPECT_TRUE(StartupOptions::parse({"quorel", "--check-controls"}).standsAlone());
    EXPECT_FALSE(StartupOptions::parse({"quorel", "--system"}).standsAlone());
}

TEST(StartupOptions, EveryOptionTheUsageListsIsReadAndNoOther)
{
    const QStringList options = {"--system",         "--preview",   "--no-prime",
                                 "--check-controls", "--log-stats", "--export-glyph",
                                 "--snapshot",       "--version",   "--help"};
    QStringList listed;
    static const QRegularExpression option(QStringLiteral(R"((?<![\w-])--[a-z-]+)"));
    for (const QRegularExpressionMatch& match : option.globalMatch(StartupOptions::helpText()))
        listed << match.captured();
    EXPECT_EQ(listed, options);

    const StartupOptions a =
        StartupOptions::parse({"quorel", "--system", "--preview", "--no-prime", "--check-controls", "--log-stats",
                               "l.txt", "--export-glyph", "g.png", "--snapshot", "s.png"});
    EXPECT_TRUE(a.system && a.preview && a.noPrime && a.checkControls && a.logStats);
    EXPECT_EQ(a.logStatsPath, QString("l.txt"));
    EXPECT_EQ(a.exportGlyphPath, QString("g.png"));
    EXPECT_EQ(a.snapshotPath, QString("s.png"));
    EXPECT_TRUE(a.urls.isEmpty());
    EXPECT_TRUE(StartupOptions::asksForVersion({"quorel", "--system", "--version"}));
    EXPECT_FALSE(StartupOptions::asksForVersion({"quorel", "--system"}));
    EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", "--version"}));
}

// An option's value is never that option too ("--snapshot --system" writes a file named
// --system and leaves processing off).
TEST(StartupOptions, AValueThatLooksLikeAnOptionIsOnlyAValue)
{
    const StartupOptions a =
        StartupOptions::parse({"quorel", "--snapshot", "--system", "--export-glyph", "--log-stats"});
    EXPECT_EQ(a.snapshotPath, QString("--system"));
    EXPECT_FALSE(a.system);
    EXPECT_EQ(a.exportGlyphPath, QString("--log-stats"));
    EXPECT_FALSE(a.logStats);
    const StartupOptions b = StartupOptions::parse({"quorel", "--export-glyph", "--snapshot", "x.png"});
    EXPECT_EQ(b.exportGlyphPath, QString("--snapshot"));
    EXPECT_FALSE(b.snapshotPath);
    ASSERT_EQ(b.urls.size(), 1);  // a file to import, since no option takes it
    EXPECT_TRUE(b.urls[0].toLocalFile().endsWith("/x.png"));
    EXPECT_FALSE(StartupOptions::asksForVersion({"quorel", "--snapshot", "--version"}));
    EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", "--export-glyph", "-h"}));
}

TEST(StartupOptions, LogStatsTakesTheNextArgumentUnlessItBeginsWithTwoDashes)
{
    const StartupOptions last = StartupOptions::parse({"quorel", "--system", "--log-stats"});
    EXPECT_TRUE(last.logStats);
    EXPECT_FALSE(last.logStatsPath);
    EXPECT_TRUE(last.system);

    const StartupOptions option = StartupOptions::parse({"quorel", "--log-stats", "--preview", "a.json"});
    EXPECT_TRUE(option.logStats);
    EXPECT_FALSE(option.logStatsPath);
    EXPECT_TRUE(option.preview);
    ASSERT_EQ(option.urls.size(), 1);
    EXPECT_TRUE(option.urls[0].toLocalFile().endsWith("/a.json"));

    const StartupOptions dash = StartupOptions::parse({"quorel", "--log-stats", "-h", "--no-prime", "b.json"});
    EXPECT_EQ(dash.logStatsPath, QString("-h"));  // one dash: a file name here, not the usage
    EXPECT_TRUE(dash.noPrime);
    EXPECT_EQ(dash.urls.size(), 1);
    EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", "--log-stats", "-h"}));
    EXPECT_TRUE(StartupOptions::asksForHelp({"quorel", "--log-stats", "--help"}));

    const StartupOptions file = StartupOptions::parse({"quorel", "stats.txt", "--log-stats", "stats.txt"});
    EXPECT_EQ(file.logStatsPath, QString("stats.txt"));
    EXPECT_EQ(file.urls.size(), 1);  // the same name before the option is a file
}

// A desktop launcher or a session manager may hand over arguments of its own; Qt's own
// ("-platformtheme gtk3", "-stylesheet x.qss") are still there when the usage is asked for.
TEST(StartupOptions, UnknownArgumentsAndMissingValuesAreIgnored)
{
    const StartupOptions a = StartupOptions::parse(
        {"quorel", "--unknown", "-xh", "-", "", "--no-prime", "--sm-client-id", "quorel://on", "--export-glyph"});
    EXPECT_TRUE(a.noPrime);
    EXPECT_FALSE(a.system || a.preview || a.checkControls || a.logStats);
    EXPECT_FALSE(a.exportGlyphPath);
    ASSERT_EQ(a.urls.size(), 1);
    EXPECT_EQ(a.urls[0], QUrl("quorel://on"));
    for (const char* notHelp : {"-xh", "-platformtheme", "-stylesheet", "--HELP", "--h-elp"})
        EXPECT_FALSE(StartupOptions::asksForHelp({"quorel", notHelp, "gtk3"})) << notHelp;
    EXPECT_TRUE(StartupOptions::asksForHelp({"quorel", "--unknown", "-h", "--snapshot"}));
    EXPECT_TRUE(StartupOptions::asksForHelp({"quorel", "--snapshot", "s.png", "--help"}));
}

TEST(StartupOptions, OnlyFileURLsAndPlainPathsAreFilesOtherSchemesAreIgnored)
{
    const StartupOptions a =
        StartupOptions::parse({"quorel", "https://quorel.app/x", "mailto:a@b.c", "quorel://on",
                               "file:///tmp/night.json", "HTTP://x", "presets/day.json", "/abs/evening.json"});
    ASSERT_EQ(a.urls.size(), 4);
    EXPECT_EQ(a.urls[0], QUrl("quorel://on"));
    EXPECT_EQ(a.urls[1], QUrl("file:///tmp/night.json"));
    EXPECT_TRUE(a.urls[2].isLocalFile());
    EXPECT_TRUE(a.urls[2].toLocalFile().endsWith("/presets/day.json"));
    EXPECT_EQ(a.urls[3], QUrl::fromLocalFile("/abs/evening.json"));

    // A file whose name merely looks like a URL is still a file.
    QTemporaryDir folder;
    const QString odd = folder.path() + "/notes:1.json";
    QFile(odd).open(QIODevice::WriteOnly);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const StartupOptions b = StartupOptions::parse({"quorel", "notes:1.json"});
    QDir::setCurrent(previous);
    ASSERT_EQ(b.urls.size(), 1);
    EXPECT_EQ(b.urls[0], QUrl::fromLocalFile(odd));
}

TEST(StatisticsLine, NumbersStayInTheCLocaleUnderPortuguese)
{
    test::ProcessLocale locale("pt_BR.UTF-8");
    ASSERT_TRUE(locale.active()) << "the pt_BR.UTF-8 locale must be installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5");  // the trap this line must not fall into

    StatisticsLine line;
    line.date = QDateTime(QDate(2026, 12, 8), QTime(10, 0), QTimeZone::utc());
    line.active = true;
    line.stats.callbacks = 12;
    line.stats.renderedFrames = 60000;
    line.stats.sampleRate = 48000;  // 1.25 s
    line.stats.inputMismatches = 1;
    line.stats.outputMismatches = 2;
    line.stats.oversizedBuffers = 3;
    line.inputDB = -18.04f;
    line.outputDB = -6.5f;
    line.limiterDB = -1.75f;
    line.sourceRunning = true;
    line.status = "Processing system audio on Speakers.";
    EXPECT_EQ(QString::fromUtf8(line.text()),
              "2026-12-08T10:00:00Z sys: active=1 callbacks=12 rendered=1.2s errors=0 mismatches=1/2/3 overloads=0 "
              "in=-18.0 out=-6.5 limiter=-1.8 running=1 status=Processing system audio on Speakers. error=-\n");
    line.sourceRunning.reset();
    line.error = "50% of {0} %1";
    EXPECT_TRUE(QString::fromUtf8(line.text())
                    .endsWith("running=- status=Processing system audio on Speakers. error=50% of {0} %1\n"));
}

TEST(StartupTask, ShowHideShowRunsItOnceAndSystemActivatesOnceAfterSixTenths)
{
    test::ShellHarness h;
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    UserDefaults::standard().setBoolean(SystemModel::activeKey, true);
    MainWindow window(*h.model, *h.updater, false);
    StartupTask task(*h.model, *h.updater, StartupOptions::parse({"quorel", "--system", "--preview"}));
    QObject::connect(&window, &MainWindow::shown, &task, &StartupTask::start);
    int activations = 0;
    QObject::connect(&h.system(), &SystemModel::activeChanged, [&] {
        if (h.system().isActive()) ++activations;
    });
    window.show();
    window.hide();
    window.show();
    EXPECT_TRUE(task.started());
    h.advance(0.5);
    EXPECT_FALSE(h.system().isActive());
    h.advance(0.2);
    EXPECT_TRUE(h.system().isActive());
    h.advance(3);
    EXPECT_EQ(activations, 1);
}

TEST(StartupTask, DiagnosticsWaitForActivationAndTheStatisticsFileFallsBack)
{
    test::ShellHarness h;
    QTemporaryDir dir;
    const QString file = dir.path() + "/stats.log";
    int snapshots = 0, glyphs = 0, checks = 0;
    StartupTask::Hooks hooks;
    hooks.snapshot = [&](const QString& path) {
        EXPECT_EQ(path, "s.png");
        ++snapshots;
    };
    hooks.exportGlyph = [&](const QString&) { return ++glyphs, true; };
    hooks.checkControls = [&] { return ++checks, 0; };
    std::FILE* out = std::tmpfile();
    hooks.standardOutput = out;
    StartupTask task(*h.model, *h.updater,
                     StartupOptions::parse(
                         {"quorel", "--system", "--log-stats", file, "--snapshot", "s.png", "--export-glyph", "g.png"}),
                     hooks);
    task.start();
    h.advance(0.5);
    EXPECT_EQ(glyphs, 0);  // waits for the activation step
    h.advance(0.1);
    EXPECT_EQ(glyphs, 1);
    h.advance(4.05);
    EXPECT_EQ(snapshots, 1);
    QFile log(file);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    EXPECT_EQ(lines.size(), 3);  // two lines and the empty rest
    static const QRegularExpression shape(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ sys: active=1 callbacks=\d+ rendered=\d+\.\ds errors=\d+ mismatches=\d+/\d+/\d+ overloads=\d+ in=-?\d+\.\d out=-?\d+\.\d limiter=-?\d+\.\d running=[01-] status=.+ error=.+$)");
    EXPECT_TRUE(shape.match(QString::fromUtf8(lines[0])).hasMatch()) << lines[0].toStdString();
    EXPECT_EQ(checks, 0);

    // An unwritable file: that line goes to standard output.
    log.close();
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner));
    if (!QFile(file).open(QIODevice::Append)) {  // root may still write
        task.emitStatistics();
        std::fflush(out);
        EXPECT_GT(std::ftell(out), 50);
    }
    std::fclose(out);
}

TEST(StartupTask, CheckControlsRunsTheCheckAndExitsWithItsStatusBeforeActivation)
{
    test::ShellHarness h;
    int exitStatus = -1;
    StartupTask::Hooks hooks;
    hooks.checkControls = [] { return 1; };
    hooks.exit = [&](int status) { exitStatus = status; };
    StartupTask task(*h.model, *h.updater, StartupOptions::parse({"quorel", "--check-controls", "--system"}), hooks);
    task.start();
    EXPECT_EQ(exitStatus, 1);
    h.advance(1);
    EXPECT_FALSE(h.system().isActive());
}

// A statistics file that is a FIFO, a device or a link to one is never opened (a FIFO without a
// reader would block the window): said once on standard error, and the lines go to standard
// output.
TEST(StartupTask, AStatisticsFileThatIsNoRegularFileIsNotOpened)
{
    QTemporaryDir dir;
    test::NonRegularTargets targets(dir.path());
    for (const QString& path : targets.all()) {
        test::ShellHarness h;
        StartupTask::Hooks hooks;
        hooks.snapshot = [](const QString&) {};
        hooks.exportGlyph = [](const QString&) { return true; };
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        hooks.standardOutput = out;
        hooks.standardError = err;
        StartupTask task(*h.model, *h.updater, StartupOptions::parse({"quorel", "--log-stats", path}), hooks);
        task.emitStatistics();
        task.emitStatistics();
        std::fflush(out);
        std::fflush(err);
        EXPECT_EQ(test::fileBytes(out).count('\n'), 2) << path.toStdString();
        EXPECT_EQ(QString::fromUtf8(test::fileBytes(err)),
                  "Could not write " + path + ": The file " + path + " is not a regular file.\n");
        std::fclose(out);
        std::fclose(err);
    }
    EXPECT_EQ(targets.changes(), QString());
}
