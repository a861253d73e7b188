// With the session manager stopped, pipewire-pulse takes new connections and never answers them:
// the tools must give up after a short wait instead of freezing for the server, and say why.
// This runs on a server of its own: a client that gives up while WirePlumber is stopped (as these
// tools do) leaves WirePlumber 0.4 telling no client bound before of any later change of its
// "default" metadata, so on the shared server the default sink set by the next tests would never
// be seen by this process.
#include "DevicesE2ETest.h"
#include "TestSupport.h"
#include "ToolRun.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <optional>
#include <thread>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::HeadlessServer;
using quorel::test::scaledWait;
using quorel::test::ToolRun;

namespace {
ToolRun runTool(const QStringList& arguments)
{
    return quorel::test::runTool(arguments, QProcessEnvironment::systemEnvironment());
}

// Stops the session manager for a scope.
class Paused {
public:
    explicit Paused(qint64 pid) : pid_(pid) { stopped_ = pid_ > 0 && ::kill(pid_t(pid_), SIGSTOP) == 0; }
    ~Paused()
    {
        if (stopped_) ::kill(pid_t(pid_), SIGCONT);
    }
    bool stopped() const { return stopped_; }

private:
    qint64 pid_;
    bool stopped_ = false;
};
}  // namespace

TEST_F(DevicesE2ETest, WithTheSessionManagerStoppedTheToolsSoonSayTheServerIsNotAnswering)
{
    const HeadlessServer own;
    ASSERT_TRUE(own.isRunning()) << own.error().toStdString();
    {
        Paused paused(HeadlessServer::sessionManagerPid());
        ASSERT_TRUE(paused.stopped());
        // A connection that cannot be made is waited for once, briefly (it was five seconds a
        // read); generous for a loaded machine, and longer in a slower build.
        const ToolRun volume = runTool({"volume"});
        EXPECT_EQ(volume.exitCode, 1);
        EXPECT_EQ(volume.errors(), "The sound server is not answering.");
        EXPECT_EQ(volume.json()["failure"].toString(), "The sound server is not answering.");
        EXPECT_LT(volume.milliseconds, scaledWait(4000));
        EXPECT_FALSE(volume.json()["supportsVolume"].toBool());
        const ToolRun devices = runTool({"devices"});
        EXPECT_EQ(devices.exitCode, 1);
        EXPECT_EQ(devices.errors(), "The sound server is not answering.");
        EXPECT_LT(devices.milliseconds, scaledWait(4000));
    }
    // Let go on, the server answers again.
    ToolRun devices;
    for (int attempt = 0; attempt < 20 && devices.exitCode != 0; ++attempt) devices = runTool({"devices"});
    EXPECT_EQ(devices.exitCode, 0) << devices.errors().toStdString();
}

// A server that answers late, as on a loaded machine at login, is waited for longer than a window
// would wait: the tool lists the devices instead of giving up after half a second.
TEST_F(DevicesE2ETest, TheToolWaitsForAServerThatAnswersWithinASecond)
{
    const HeadlessServer own;
    ASSERT_TRUE(own.isRunning()) << own.error().toStdString();
    std::optional<Paused> paused(HeadlessServer::sessionManagerPid());
    ASSERT_TRUE(paused->stopped());
    std::thread resume([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        paused.reset();
    });
    const ToolRun devices = runTool({"devices"});
    resume.join();
    EXPECT_EQ(devices.exitCode, 0) << devices.errors().toStdString();
    EXPECT_GT(devices.milliseconds, 900);
}
