// The connection's view of the "default" metadata while the session manager goes away and
// comes back.
#include "HeadlessServer.h"
#include "PipeWireContext.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

using namespace quorel::pipewire;
using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::waitUntil;

namespace {

// The headless server's own WirePlumber, found among the processes its script recorded.
qint64 sessionManagerPid(const QString& directory)
{
    QFile pids(directory + "/pids");
    if (!pids.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        const qint64 pid = line.trimmed().toLongLong();
        if (pid <= 0) continue;
        QFile comm(QString("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "wireplumber") return pid;
    }
    return 0;
}

// Starts a new WirePlumber and records it so that stopping the server stops it too.
bool startSessionManager(const QString& directory)
{
    QProcess process;
    process.setProgram("wireplumber");
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(directory + "/logs/wireplumber-restarted.log");
    process.setStandardErrorFile(directory + "/logs/wireplumber-restarted.log", QIODevice::Append);
    qint64 pid = 0;
    if (!process.startDetached(&pid)) return false;
    QFile pids(directory + "/pids");
    if (!pids.open(QIODevice::Append)) return false;
    pids.write(QByteArray::number(pid) + '\n');
    return true;
}

}  // namespace

TEST(PipeWireContextE2E, FollowsTheDefaultMetadataThroughASessionManagerRestart)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    bool ok = false;
    run("pw-cli",
        {"create-node", "adapter",
         "{ factory.name=support.null-audio-sink node.name=other_speakers media.class=Audio/Sink "
         "object.linger=true audio.position=[FL FR] }"},
        &ok);
    ASSERT_TRUE(ok);

    std::atomic<int> changes{0};
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    ASSERT_EQ(context->defaultSink(), "test_speakers");
    ASSERT_TRUE(waitUntil([&] { return context->nodeNamed("other_speakers").has_value(); }));
    const uint64_t handler = context->addChangeHandler([&] { ++changes; });

    const qint64 pid = sessionManagerPid(server.directory());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    // Its metadata went with it: no stale names, and a write is refused instead of lost.
    EXPECT_TRUE(waitUntil([&] { return context->defaultSink().empty(); }));
    EXPECT_TRUE(context->configuredDefaultSink().empty());
    EXPECT_GT(changes.load(), 0);
    EXPECT_FALSE(context->setConfiguredDefaultSink("other_speakers"));

    ASSERT_TRUE(startSessionManager(server.directory()));
    // The new session manager picks one of the two speakers (it may not remember the choice).
    ASSERT_TRUE(waitUntil([&] { return !context->defaultSink().empty(); }, 20000));
    const std::string other = context->defaultSink() == "test_speakers" ? "other_speakers" : "test_speakers";
    // The new metadata is the one written to.
    ASSERT_TRUE(context->setConfiguredDefaultSink(other));
    EXPECT_TRUE(waitUntil([&] { return context->defaultSink() == other; }));
    EXPECT_EQ(context->configuredDefaultSink(), other);
    EXPECT_TRUE(waitUntil([&] { return run("pactl", {"get-default-sink"}).toStdString() == other; }));
    context->removeChangeHandler(handler);
}
