// A process whose first reads find the server not answering (the session manager stopped) learns
// of the devices through the listeners once the server answers.
#include "DevicesE2ETest.h"
#include "HALListener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
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

// Runs only as the child of the test below: a process that has not talked to the server yet.
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
    QElapsedTimer elapsed;
    elapsed.start();
    while (fired == 0 && elapsed.elapsed() < 30000) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_GT(fired, 0);
    EXPECT_FALSE(HAL::outputDevices().empty());
}

TEST_F(DevicesE2ETest, FirstReadsWithoutAnAnswerAreFollowedByTheDevicesWhenTheServerAnswers)
{
    const qint64 sessionManager = HeadlessServer::sessionManagerPid();
    ASSERT_GT(sessionManager, 0);
    ASSERT_EQ(::kill(pid_t(sessionManager), SIGSTOP), 0);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=FirstConnectionChild.*"});
    QByteArray output;
    QElapsedTimer elapsed;
    elapsed.start();
    while (!output.contains(firstReadDone) && elapsed.elapsed() < 60000 && child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(100);
        output += child.readAllStandardOutput();
    }
    ::kill(pid_t(sessionManager), SIGCONT);
    EXPECT_TRUE(output.contains(firstReadDone)) << output.toStdString();
    ASSERT_TRUE(child.waitForFinished(60000));
    output += child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}
