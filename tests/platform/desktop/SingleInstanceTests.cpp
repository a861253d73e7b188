#include "PrivateSessionBus.h"
#include "SingleInstance.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>

using namespace quorel;
using quorel::test::waitUntil;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.error()); }
    void TearDown() override
    {
        for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
    }

    QDBusConnection connect(const QString& name)
    {
        names << name;
        return QDBusConnection::connectToBus(bus.address(), name);
    }

    // Runs this executable as a later launch in `folder`; returns its exit code (-1 when it hung).
    int secondLaunch(const QStringList& arguments, const QString& folder, QString* errors = nullptr)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        process.start(QCoreApplication::applicationFilePath(), QStringList{"--second-launch"} + arguments);
        // The running instance answers from this process's event loop.
        const bool finished = waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000);
        if (!finished) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (errors) *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    test::PrivateSessionBus bus;
    QStringList names;
};

}  // namespace

TEST_F(SingleInstanceTest, ALaterLaunchHandsItsURLsToTheFirst)
{
    SingleInstance first(connect("first"));
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    std::vector<QStringList> opened;
    int activations = 0;
    QObject::connect(&first, &SingleInstance::openRequested, [&](const QStringList& uris) { opened.push_back(uris); });
    QObject::connect(&first, &SingleInstance::activateRequested, [&] { ++activations; });

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_EQ(secondLaunch({"quorel://boost/2,5", "presets/My Preset.json", "/tmp/x.json"}, folder.path()), 0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front(),
              (QStringList{"quorel://boost/2,5",
                           QUrl::fromLocalFile(folder.path() + "/presets/My Preset.json").toString(QUrl::FullyEncoded),
                           "file:///tmp/x.json"}));
    EXPECT_TRUE(opened.front()[1].endsWith("/presets/My%20Preset.json"));
    EXPECT_EQ(activations, 0);

    // Nothing to open: the running instance is asked to come forward.
    ASSERT_EQ(secondLaunch({}, folder.path()), 0);
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(opened.size(), 1u);
}

// One Open asking for thousands of URLs is cut to what the window can handle at once, and the
// cut is said on standard error.
TEST_F(SingleInstanceTest, AnOpenOfThousandsOfURLsIsBounded)
{
    SingleInstance first(connect("bounded"));
    ASSERT_EQ(first.claim(), SingleInstance::Role::Primary);
    std::vector<QStringList> opened;
    QObject::connect(&first, &SingleInstance::openRequested, [&](const QStringList& uris) { opened.push_back(uris); });

    QStringList urls;
    for (int i = 0; i < 2001; ++i) urls << QStringLiteral("quorel://boost/%1").arg(i % 12);
    QTemporaryDir folder;
    testing::internal::CaptureStderr();
    const int code = secondLaunch(urls, folder.path());
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.front().size(), SingleInstance::maximumOpenedURIs);
    EXPECT_EQ(opened.front(), urls.mid(0, SingleInstance::maximumOpenedURIs));
    EXPECT_NE(errors.find("2001 URLs were handed over at once; only the first 64 are opened."), std::string::npos)
        << errors;

    // Up to the bound everything is handed on, without a word.
    testing::internal::CaptureStderr();
    first.open(urls.mid(0, SingleInstance::maximumOpenedURIs), {});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened.back().size(), SingleInstance::maximumOpenedURIs);
}

TEST_F(SingleInstanceTest, ASecondClaimInTheSameSessionIsSecondary)
{
    SingleInstance first(connect("claim-a"));
    SingleInstance second(connect("claim-b"));
    EXPECT_EQ(first.claim(), SingleInstance::Role::Primary);
    EXPECT_EQ(second.claim(), SingleInstance::Role::Secondary);
    EXPECT_EQ(second.claim(), SingleInstance::Role::Secondary);
}

TEST_F(SingleInstanceTest, AnInstanceThatDoesNotAnswerFailsTheHandOffWithinTheTimeOut)
{
    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
    holder.setProcessEnvironment(environment);
    holder.start(QCoreApplication::applicationFilePath(), {"--hold-name"});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    ASSERT_EQ(holder.readLine().trimmed(), "ready");
    // Frozen: it owns the name but cannot answer.
    ::kill(pid_t(holder.processId()), SIGSTOP);

    SingleInstance later(connect("later"));
    ASSERT_EQ(later.claim(), SingleInstance::Role::Secondary);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(later.handOff({"quorel://on"}));
    EXPECT_LT(timer.elapsed(), 20000);
    EXPECT_FALSE(later.errorMessage().isEmpty());

    ::kill(pid_t(holder.processId()), SIGCONT);
    holder.kill();
    holder.waitForFinished();
}

TEST_F(SingleInstanceTest, ALaunchWhoseInstanceIsGoneFails)
{
    SingleInstance later(connect("alone-later"));
    // Nobody owns the name: this one would be first, so hand-off is only tried when asked.
    EXPECT_FALSE(later.handOff({"quorel://on"}));
}

TEST(SingleInstanceWithoutBus, RunsAlone)
{
    SingleInstance instance(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "no-bus"));
    EXPECT_EQ(instance.claim(), SingleInstance::Role::Alone);
    EXPECT_FALSE(instance.handOff({"quorel://on"}));
    QDBusConnection::disconnectFromBus("no-bus");
}

TEST(SingleInstanceArguments, URLsStayAndPathsBecomeFileURLs)
{
    QTemporaryDir folder;
    const QString base = folder.path();
    EXPECT_EQ(SingleInstance::urisFromArguments({"quorel://preset/Movies%20Night", "corvanta://on", "file:///a/b.json",
                                                 "a.json", "../up/b c.json", "/abs/ü.json", ""},
                                                base),
              (QStringList{"quorel://preset/Movies%20Night", "corvanta://on", "file:///a/b.json",
                           QUrl::fromLocalFile(base + "/a.json").toString(QUrl::FullyEncoded),
                           QUrl::fromLocalFile(QDir::cleanPath(base + "/../up/b c.json")).toString(QUrl::FullyEncoded),
                           "file:///abs/%C3%BC.json"}));
}
