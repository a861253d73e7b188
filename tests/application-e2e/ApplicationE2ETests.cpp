#include "BoostModel.h"
#include "DSPSettings.h"
#include "HeadlessServer.h"
#include "SingleInstance.h"
#include "SystemModel.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace quorel;
using namespace quorel::test;

namespace {

QString defaultSink() { return run("pactl", {"get-default-sink"}); }

bool ours(const QString& sink) { return sink.startsWith(QLatin1String("local.quorel.aggregate.")); }

class Application : public ::testing::Test {
protected:
    HeadlessServer server;
    TemporaryHome home;
    std::unique_ptr<QProcess> first;

    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
        // The application opens its window; here on the offscreen platform (the launches inherit it).
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    void TearDown() override
    {
        if (first && first->state() != QProcess::NotRunning) {
            first->kill();
            first->waitForFinished(5000);
        }
    }

    bool instanceRunning()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.isConnected() && bus.interface()->isServiceRegistered(SingleInstance::serviceName);
    }

    // Starts the first instance and waits until it serves the session.
    void startFirst(const QStringList& arguments = {})
    {
        first = std::make_unique<QProcess>();
        first->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // No silent-playback primer: a player still running at exit outlives the process's objects.
        first->start(QStringLiteral(QUOREL_APP_PATH), QStringList{"--no-prime"} + arguments);
        ASSERT_TRUE(first->waitForStarted(10000));
        ASSERT_TRUE(waitUntil([this] { return instanceRunning(); })) << "the first instance never owned the name";
    }

    // A second launch with these arguments; its exit status.
    int launch(const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(QUOREL_APP_PATH), arguments);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    void terminateFirst()
    {
        first->terminate();
        ASSERT_TRUE(first->waitForFinished(20000));
        EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first->exitCode(), 0);
    }

    std::optional<bool> storedChoice() { return UserDefaults::standard().boolean(SystemModel::activeKey); }
};

TEST_F(Application, UrlsFromASecondLaunchReachTheRunningInstanceAndSigtermKeepsTheChoice)
{
    ASSERT_EQ(defaultSink(), QStringLiteral("test_speakers"));
    // Asked for in the environment, the chain's latencies are printed on standard output when
    // processing prepares it.
    qputenv("QUOREL_LATENCY_DEBUG", "1");
    startFirst();
    qunsetenv("QUOREL_LATENCY_DEBUG");

    EXPECT_EQ(launch({"quorel://on"}), 0);
    EXPECT_TRUE(waitUntil([] { return ours(defaultSink()); })) << defaultSink().toStdString();
    QByteArray output;
    EXPECT_TRUE(waitUntil([&] {
        first->waitForReadyRead(100);
        output += first->readAllStandardOutput();
        return output.contains("latency ms ") && output.contains(" bass ");
    })) << output.constData();

    EXPECT_EQ(launch({"quorel://boost/2,5"}), 0);
    EXPECT_TRUE(waitUntil([] {
        const std::optional<QString> json = UserDefaults::standard().string(BoostModel::preferencesKey);
        return json && DSPSettings::fromJsonText(json->toUtf8()).boostDB == 2.5f;
    }));

    terminateFirst();
    EXPECT_EQ(defaultSink(), QStringLiteral("test_speakers"));
    EXPECT_EQ(storedChoice(), true);

    // The next start resumes processing by itself.
    startFirst();
    EXPECT_TRUE(waitUntil([] { return ours(defaultSink()); })) << defaultSink().toStdString();
    EXPECT_EQ(launch({"quorel://off"}), 0);
    EXPECT_TRUE(waitUntil([] { return defaultSink() == QLatin1String("test_speakers"); }));
    terminateFirst();
    EXPECT_EQ(storedChoice(), false);

    // After "off" it does not.
    startFirst();
    QThread::msleep(2500);
    EXPECT_EQ(defaultSink(), QStringLiteral("test_speakers"));
    terminateFirst();
}

}  // namespace
