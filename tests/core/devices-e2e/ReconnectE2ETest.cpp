#include "DevicesE2ETest.h"

#include "HALListener.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

using namespace quorel;
using quorel::test::DevicesE2ETest;
using quorel::test::run;
using quorel::test::waitUntil;

namespace {
// The pid of the headless server's newest pipewire-pulse, from the list of pids the server keeps.
qint64 pulseServerPid(const QString& directory)
{
    QFile pids(directory + "/pids");
    if (!pids.open(QIODevice::ReadOnly)) return 0;
    qint64 found = 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        QFile name("/proc/" + QString::fromLatin1(line.trimmed()) + "/comm");
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "pipewire-pulse")
            found = line.trimmed().toLongLong();
    }
    return found;
}

bool speakersListed()
{
    for (const HAL::OutputDevice& device : HAL::outputDevices())
        if (device.uid == "test_speakers") return true;
    return false;
}
}  // namespace

TEST_F(DevicesE2ETest, ARestartedSoundServerIsFoundAgainAndOnlyRealChangesAreReported)
{
    const QString directory = qEnvironmentVariable("QUOREL_HEADLESS_DIR");
    const qint64 pid = pulseServerPid(directory);
    ASSERT_GT(pid, 0);
    int fired = 0;
    auto listener = HALListener::create(HAL::systemObject, HAL::address(HAL::selector::devices, HAL::scope::global, 0),
                                        [&] { ++fired; });
    ASSERT_NE(listener, nullptr);
    int defaultChanges = 0;
    auto defaultListener =
        HALListener::create(HAL::systemObject, HAL::address(HAL::selector::defaultOutputDevice, HAL::scope::global, 0),
                            [&] { ++defaultChanges; });
    ASSERT_NE(defaultListener, nullptr);

    // A lost connection is no change of the devices; reads fail meanwhile.
    ASSERT_EQ(::kill(pid_t(pid), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return !speakersListed(); }));
    try {
        HAL::defaultOutputDevice();
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "The sound server is not running.");
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

    EXPECT_TRUE(waitUntil([&] { return speakersListed(); }, 20000));
    EXPECT_EQ(HAL::defaultOutputDevice(), idOf("test_speakers"));
    quorel::test::processEventsFor(300);  // any change posted by the reconnection is delivered
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(defaultChanges, 0);

    // A device that appeared while the connection was lost is a change, told once reconnected.
    const qint64 again = pulseServerPid(directory);
    ASSERT_GT(again, 0);
    ASSERT_EQ(::kill(pid_t(again), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return !speakersListed(); }));
    run("pw-cli", {"create-node", "adapter",
                   "{ factory.name=support.null-audio-sink node.name=test_meanwhile "
                   "media.class=Audio/Sink object.linger=true audio.position=[FL FR] }"});
    qint64 third = 0;
    ASSERT_TRUE(server.startDetached(&third));
    ASSERT_TRUE(pids.open(QIODevice::Append));
    pids.write(QByteArray::number(third) + "\n");
    pids.close();
    EXPECT_TRUE(waitUntil([&] { return fired == 1 && speakersListed(); }, 20000)) << fired;
    EXPECT_EQ(defaultChanges, 0);
    run("pw-cli", {"destroy", "test_meanwhile"});
    EXPECT_TRUE(waitUntil([&] { return fired == 2; }));
}
