#include "DevicesE2ETest.h"

#include "HALListener.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

using namespace quorel;
using quorel::test::DevicesE2ETest;

namespace {
// The pid of the headless server's pipewire-pulse, from the list of pids the server keeps.
qint64 pulseServerPid(const QString& directory)
{
    QFile pids(directory + "/pids");
    if (!pids.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        QFile name("/proc/" + QString::fromLatin1(line.trimmed()) + "/comm");
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "pipewire-pulse")
            return line.trimmed().toLongLong();
    }
    return 0;
}

bool speakersListed()
{
    for (const HAL::OutputDevice& device : HAL::outputDevices())
        if (device.uid == "test_speakers") return true;
    return false;
}
}  // namespace

TEST_F(DevicesE2ETest, ARestartedSoundServerIsFoundAgainAndReported)
{
    const QString directory = qEnvironmentVariable("QUOREL_HEADLESS_DIR");
    const qint64 pid = pulseServerPid(directory);
    ASSERT_GT(pid, 0);
    int fired = 0;
    auto listener = HALListener::create(
        HAL::systemObject, HAL::address(HAL::selector::devices, HAL::scope::global, 0), [&] { ++fired; });
    ASSERT_NE(listener, nullptr);

    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return fired == 1; }));
    EXPECT_FALSE(speakersListed());
    try {
        HAL::defaultOutputDevice();
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Could not read audio property ('dOut', 'stop').");
    }

    // Started again in the same environment; the server's own stop ends it with the rest.
    QProcess server;
    server.setProgram("pipewire-pulse");
    server.setStandardOutputFile(directory + "/logs/pipewire-pulse-restarted.log");
    server.setStandardErrorFile(directory + "/logs/pipewire-pulse-restarted.log");
    qint64 restarted = 0;
    ASSERT_TRUE(server.startDetached(&restarted));
    QFile pids(directory + "/pids");
    ASSERT_TRUE(pids.open(QIODevice::Append));
    pids.write(QByteArray::number(restarted) + "\n");
    pids.close();

    EXPECT_TRUE(waitUntil([&] { return fired == 2 && speakersListed(); }, 20000));
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("test_speakers"));
}
