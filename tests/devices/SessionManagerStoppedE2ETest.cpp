// With the session manager stopped, pipewire-pulse takes new connections and never answers them:
// the tools must give up after a short wait instead of freezing for the server, and say why.
#include "DevicesE2ETest.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::HeadlessServer;

namespace {
struct ToolResult {
    int status = -1;
    QString errors;
    QJsonObject json;
    qint64 milliseconds = 0;
};

ToolResult runTool(const QStringList& arguments)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QProcess tool;
    tool.start(QStringLiteral(QUOREL_TOOL_PATH), arguments);
    ToolResult result;
    if (!tool.waitForFinished(60000)) return result;
    result.milliseconds = elapsed.elapsed();
    result.status = tool.exitCode();
    result.json = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    result.errors = QString::fromUtf8(tool.readAllStandardError()).trimmed();
    return result;
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
    {
        Paused paused(HeadlessServer::sessionManagerPid());
        ASSERT_TRUE(paused.stopped());
        // A connection that cannot be made is waited for once, briefly (it was five seconds a
        // read); generous for a loaded machine.
        const ToolResult volume = runTool({"volume"});
        EXPECT_EQ(volume.status, 1);
        EXPECT_EQ(volume.errors, "The sound server is not answering.");
        EXPECT_EQ(volume.json["failure"].toString(), "The sound server is not answering.");
        EXPECT_LT(volume.milliseconds, 4000);
        EXPECT_FALSE(volume.json["supportsVolume"].toBool());
        const ToolResult devices = runTool({"devices"});
        EXPECT_EQ(devices.status, 1);
        EXPECT_EQ(devices.errors, "The sound server is not answering.");
        EXPECT_LT(devices.milliseconds, 4000);
    }
    // Let go on, the server answers again.
    ToolResult devices;
    for (int attempt = 0; attempt < 20 && devices.status != 0; ++attempt) devices = runTool({"devices"});
    EXPECT_EQ(devices.status, 0) << devices.errors.toStdString();
}
