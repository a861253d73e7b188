// A session manager that was stopped (SIGSTOP) while processing started: once it runs again, it
// still follows the configured default but may no longer send change events for the "default"
// metadata to clients that bind it later. Processing must still start and give the default back.
#include "HeadlessServer.h"
#include "ToolProcess.h"

#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::ToolProcess;

namespace {

QString defaultSink() { return run("pactl", {"get-default-sink"}); }

bool hasKey(const QJsonObject& o, const char* key) { return o.contains(QLatin1String(key)); }

// Stops the session manager; lets it run again when it goes out of scope (also on a failed
// assertion).
class PausedProcess {
public:
    explicit PausedProcess(qint64 pid) : pid_(pid) { ::kill(pid_t(pid_), SIGSTOP); }
    ~PausedProcess() { resume(); }
    void resume()
    {
        if (pid_ > 0) ::kill(pid_t(pid_), SIGCONT);
        pid_ = 0;
    }

private:
    qint64 pid_;
};

class PausedSessionManagerE2E : public testing::Test {
protected:
    // A server of its own: what the pause leaves behind lasts as long as the server.
    static void SetUpTestSuite() { server_ = std::make_unique<HeadlessServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(server_->isRunning()) << server_->error().toStdString();
        ASSERT_GT(HeadlessServer::sessionManagerPid(), 0);
        ASSERT_EQ(defaultSink(), "test_speakers");
    }

    static std::unique_ptr<HeadlessServer> server_;
};

std::unique_ptr<HeadlessServer> PausedSessionManagerE2E::server_;

}  // namespace

TEST_F(PausedSessionManagerE2E, ProcessingStartsAgainAfterARunWhileTheSessionManagerWasStopped)
{
    {
        PausedProcess paused(HeadlessServer::sessionManagerPid());
        ToolProcess tool;
        tool.start({"system", "--seconds", "2"});
        // Whatever this run manages without a session manager, it must end.
        EXPECT_NE(tool.finish(60000), -1) << tool.errorText().toStdString();
        paused.resume();
    }
    // The session manager follows again; put the speaker back as the default.
    for (int i = 0; i < 100 && defaultSink() != "test_speakers"; ++i) {
        run("pactl", {"set-default-sink", "test_speakers"});
        QThread::msleep(100);
    }
    ASSERT_EQ(defaultSink(), "test_speakers");

    for (const char* command : {"system", "capture"}) {
        SCOPED_TRACE(command);
        ToolProcess tool;
        tool.start({command, "--seconds", "3"});
        const auto running = tool.waitForLine(
            [](const QJsonObject& o) { return o.value("isActive").toBool() || hasKey(o, "info"); }, 20000);
        ASSERT_TRUE(running) << tool.errorText().toStdString();
        EXPECT_TRUE(defaultSink().startsWith("local.quorel.aggregate.")) << defaultSink().toStdString();
        const auto last = tool.waitForLine([](const QJsonObject& o) { return o.value("final").toBool(); }, 20000);
        ASSERT_TRUE(last);
        EXPECT_TRUE(last->value("error").isNull() || !last->contains("error"))
            << last->value("error").toString().toStdString();
        EXPECT_EQ(tool.finish(), 0) << tool.errorText().toStdString();
        // Stop gave the default back.
        EXPECT_EQ(defaultSink(), "test_speakers");
    }
}
