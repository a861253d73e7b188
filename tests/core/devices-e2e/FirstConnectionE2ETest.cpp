// A process whose first reads find the server not answering (the session manager stopped), or no
// server at all (started before it, as at login), learns of the devices through the listeners
// once the server answers.
#include "DevicesE2ETest.h"
#include "HALListener.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::HeadlessServer;

namespace {
constexpr char childVariable[] = "QUOREL_DEVICES_FIRST_CONNECTION_CHILD";
constexpr char firstReadDone[] = "first read done";
}  // namespace

// Runs only as the child of the tests below: a process that has not talked to the server yet.
TEST(FirstConnectionChild, TheDeviceListListenerFiresWhenTheServerAnswers)
{
    if (!qEnvironmentVariableIsSet(childVariable)) GTEST_SKIP() << "run by FirstReadsWithoutAnAnswer...";
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, HAL::address(HAL::selector::devices, HAL::scope::global, 0),
                                        [&] { ++fired; });
    ASSERT_NE(listener, nullptr);
    EXPECT_TRUE(HAL::outputDevices().empty());
    std::printf("%s\n", firstReadDone);
    std::fflush(stdout);
    quorel::test::waitUntil([&] { return fired > 0; }, 30000);
    EXPECT_GT(fired, 0);
    EXPECT_FALSE(HAL::outputDevices().empty());
}

namespace {
// Runs the child above until its first read is done; true when it was.
bool startChild(QProcess& child, const QProcessEnvironment& environment, QByteArray& output)
{
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=FirstConnectionChild.*"});
    QElapsedTimer elapsed;
    elapsed.start();
    while (!output.contains(firstReadDone) && elapsed.elapsed() < 60000 && child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(100);
        output += child.readAllStandardOutput();
    }
    return output.contains(firstReadDone);
}
}  // namespace

// No server where the process looks when it starts; the server's socket appears there later. The
// process reads nothing more: its connection retries by itself.
TEST_F(DevicesE2ETest, AProcessStartedBeforeTheServerHearsOfTheDevicesOnceItIsThere)
{
    const QString socket = qEnvironmentVariable("PULSE_SERVER").remove(QRegularExpression("^unix:"));
    ASSERT_TRUE(QFile::exists(socket)) << socket.toStdString();
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ASSERT_TRUE(QDir(runtime.path()).mkpath("pulse"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("PIPEWIRE_RUNTIME_DIR", runtime.path());
    environment.insert("PULSE_RUNTIME_PATH", runtime.filePath("pulse"));
    environment.insert("PULSE_SERVER", "unix:" + runtime.filePath("pulse/native"));
    QProcess child;
    QByteArray output;
    ASSERT_TRUE(startChild(child, environment, output)) << output.toStdString();
    QThread::msleep(1500);  // more than one attempt finds nothing
    ASSERT_TRUE(QFile::link(socket, runtime.filePath("pulse/native")));
    ASSERT_TRUE(child.waitForFinished(60000));
    output += child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}

TEST_F(DevicesE2ETest, FirstReadsWithoutAnAnswerAreFollowedByTheDevicesWhenTheServerAnswers)
{
    const qint64 sessionManager = HeadlessServer::sessionManagerPid();
    ASSERT_GT(sessionManager, 0);
    ASSERT_EQ(::kill(pid_t(sessionManager), SIGSTOP), 0);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    QByteArray output;
    const bool firstRead = startChild(child, environment, output);
    ::kill(pid_t(sessionManager), SIGCONT);
    EXPECT_TRUE(firstRead) << output.toStdString();
    ASSERT_TRUE(child.waitForFinished(60000));
    output += child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}
