// The application binary itself: the self-check, the design preview with its image options and a
// clean SIGTERM, and the statistics file under a Portuguese locale.

#include "ShellHarness.h"

#include "ControlChecks.h"
#include "PrivateSessionBus.h"
#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace quorel;

namespace {

QProcessEnvironment environment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_STATE_HOME", home + "/state");
    env.insert("XDG_RUNTIME_DIR", home);
    env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorel-test/bus");
    env.insert("PULSE_SERVER", "unix:/nonexistent/quorel-test/native");
    env.insert("PIPEWIRE_REMOTE", "/nonexistent/quorel-test/pipewire-0");
    return env;
}

}  // namespace

TEST(Binary, HelpPrintsTheUsageAndExitsZero)
{
    QTemporaryDir home;
    QProcess process;
    process.setProcessEnvironment(environment(home.path()));
    process.start(QUOREL_BINARY, {"--help"});
    ASSERT_TRUE(process.waitForFinished(20000)) << "no window starts for --help";
    EXPECT_EQ(process.exitCode(), 0);
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(output.startsWith("Usage: quorel")) << output.toStdString();
    EXPECT_TRUE(output.contains("--snapshot FILE"));
}

TEST(Binary, CheckControlsPrintsTheLineWritesTheFileAndExitsZero)
{
    QTemporaryDir home;
    const QString resultFile = QFileInfo(QStringLiteral(QUOREL_BINARY)).dir().filePath("control-check.txt");
    QFile::remove(resultFile);
    QProcess process;
    process.setProcessEnvironment(environment(home.path()));
    process.start(QUOREL_BINARY, {"--check-controls"});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(ControlChecks::successLine) + "\n");
    QFile file(resultFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(ControlChecks::successLine));
}

TEST(Binary, PreviewWritesGlyphAndSnapshotAndEndsCleanlyOnSigterm)
{
    QTemporaryDir home;
    const QString glyph = home.path() + "/g.png";
    const QString snapshot = home.path() + "/s.png";
    QDir().mkpath(home.path() + "/config/Quorel");
    {
        QFile conf(home.path() + "/config/Quorel/Quorel.conf");
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[General]\nCorvanta.System.Active.v1=true\nCorvanta.Onboarding.v1=true\n");
    }
    QProcess process;
    process.setProcessEnvironment(environment(home.path()));
    process.start(QUOREL_BINARY, {"--preview", "--export-glyph", glyph, "--snapshot", snapshot});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(snapshot).size() > 0; })) << "no snapshot";
    EXPECT_FALSE(QImage(glyph).isNull());
    EXPECT_EQ(QImage(glyph).size(), QSize(144, 144));
    const QImage shot(snapshot);
    EXPECT_GE(shot.width(), 1040);
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    // Quitting is not switching off.
    QFile conf(home.path() + "/config/Quorel/Quorel.conf");
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(conf.readAll().contains("Corvanta.System.Active.v1=true"));
}

TEST(Binary, TheWindowAtScaleFactorTwo)
{
    QTemporaryDir home;
    QDir().mkpath(home.path() + "/config/Quorel");
    {
        QFile conf(home.path() + "/config/Quorel/Quorel.conf");
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[General]\nCorvanta.Onboarding.v1=true\nCorvanta.Tab.v1=settings\n");
    }
    const QString snapshot = test::snapshotFolder() + "/main-window-scale2.png";
    QFile::remove(snapshot);
    QProcessEnvironment env = environment(home.path());
    env.insert("QT_SCALE_FACTOR", "2");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QUOREL_BINARY, {"--preview", "--system", "--snapshot", snapshot});
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(snapshot).size() > 0; }));
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    const QImage image(snapshot);
    EXPECT_GE(image.width(), 2 * 1040);  // drawn at twice the logical size
}

TEST(Binary, LogStatsAppendsWellFormedLinesUnderPortuguese)
{
    QTemporaryDir home;
    const QString stats = home.path() + "/stats.log";
    {
        QFile existing(stats);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("earlier line\n");
    }
    QProcessEnvironment env = environment(home.path());
    env.insert("LC_ALL", "pt_BR.UTF-8");
    env.insert("LANG", "pt_BR.UTF-8");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QUOREL_BINARY, {"--preview", "--system", "--log-stats", stats});
    ASSERT_TRUE(process.waitForStarted());
    auto lineCount = [&] {
        QFile file(stats);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
    };
    ASSERT_TRUE(test::waitUntil([&] { return lineCount() >= 3; }));
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    QFile file(stats);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "earlier line");
    static const QRegularExpression shape(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ sys: active=1 callbacks=\d+ rendered=\d+\.\ds errors=\d+ mismatches=\d+/\d+/\d+ overloads=\d+ in=-?\d+\.\d out=-?\d+\.\d limiter=-?\d+\.\d running=[01-] status=.+ error=.+$)");
    for (int i = 1; i < lines.size(); ++i) EXPECT_TRUE(shape.match(lines[i]).hasMatch()) << lines[i].toStdString();
}

TEST(Binary, BesideARunningQuorelTheGlyphIsWrittenAloneAndSnapshotOrStatisticsAreRefused)
{
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
    // The running Quorel, as the bus sees it.
    SingleInstance running(QDBusConnection::connectToBus(bus.address(), "running-quorel"));
    ASSERT_EQ(running.claim(), SingleInstance::Role::Primary);
    int calls = 0;
    QObject::connect(&running, &SingleInstance::activateRequested, [&] { ++calls; });
    QObject::connect(&running, &SingleInstance::openRequested, [&] { ++calls; });

    QTemporaryDir home;
    QProcessEnvironment env = environment(home.path());
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    struct Run {
        int status = -1;
        QString errors;
    };
    auto launch = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QUOREL_BINARY, arguments);
        Run run;
        if (!process.waitForStarted()) return run;
        // The running instance answers while we wait.
        test::waitUntil([&] { return process.state() == QProcess::NotRunning; });
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.errors = QString::fromUtf8(process.readAllStandardError());
        return run;
    };

    const QString glyph = home.path() + "/glyph.png";
    const Run exported = launch({"--export-glyph", glyph});
    EXPECT_EQ(exported.status, 0) << exported.errors.toStdString();
    EXPECT_EQ(QImage(glyph).size(), QSize(144, 144));
    EXPECT_EQ(calls, 0);  // nothing asked of the running one

    const QString snapshot = home.path() + "/shot.png";
    const QString refusal =
        "Quorel is already running. --snapshot and --log-stats apply only to the process started with them.\n";
    const Run shot = launch({"--snapshot", snapshot});
    EXPECT_EQ(shot.status, 1);
    EXPECT_EQ(shot.errors, refusal);
    EXPECT_FALSE(QFile::exists(snapshot));
    const Run stats = launch({"--log-stats", home.path() + "/stats.log"});
    EXPECT_EQ(stats.status, 1);
    EXPECT_EQ(stats.errors, refusal);
    EXPECT_FALSE(QFile::exists(home.path() + "/stats.log"));
    EXPECT_EQ(calls, 0);

    // A plain second launch still brings the running one forward.
    EXPECT_EQ(launch({}).status, 0);
    EXPECT_EQ(calls, 1);
}
