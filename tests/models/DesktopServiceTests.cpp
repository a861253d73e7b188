#include "ModelTestSupport.h"
#include "SleepMonitor.h"
#include "SoundServerRestart.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

// PATH set to one folder of stand-in programs for the lifetime of the object.
class FakePath {
public:
    FakePath() : previous_(qgetenv("PATH")) { qputenv("PATH", home_.path().toUtf8()); }
    ~FakePath() { qputenv("PATH", previous_); }
    void add(const QString& name, const QByteArray& body)
    {
        QFile script(home_.path() + "/" + name);
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString folder() const { return home_.path(); }

private:
    quorel::test::TemporaryHome home_;
    QByteArray previous_;
};

std::optional<std::optional<QString>> restart(int timeoutMS = 30000)
{
    QObject context;
    std::optional<std::optional<QString>> result;
    SoundServerRestart::run(
        &context, [&](std::optional<QString> failure) { result = failure; }, timeoutMS);
    quorel::test::waitUntil([&] { return result.has_value(); });
    return result;
}

}  // namespace

TEST(SoundServerRestart, RunsSystemctlForTheUsersThreeServices)
{
    FakePath path;
    path.add("systemctl", "echo \"$@\" > \"" + path.folder().toUtf8() + "/args\"");
    const auto result = restart();
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result);
    QFile args(path.folder() + "/args");
    args.open(QIODevice::ReadOnly);
    EXPECT_EQ(args.readAll().trimmed(), "--user restart pipewire pipewire-pulse wireplumber");
}

TEST(SoundServerRestart, AFailureIsItsTrimmedStandardError)
{
    FakePath path;
    path.add("systemctl", "echo '  Failed to connect to bus: No medium found  ' >&2; exit 1");
    const auto result = restart();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(**result, "Failed to connect to bus: No medium found");
}

TEST(SoundServerRestart, AFailureWithoutAMessageNamesTheStatus)
{
    FakePath path;
    path.add("systemctl", "exit 3");
    const auto result = restart();
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(**result, "systemctl ended with status 3.");
}

TEST(SoundServerRestart, AMissingProgramSaysWhyItCouldNotRun)
{
    FakePath path;
    const auto result = restart();
    ASSERT_TRUE(result && *result);
    EXPECT_FALSE((*result)->isEmpty());
}

TEST(SoundServerRestart, OneThatHangsIsGivenUp)
{
    FakePath path;
    path.add("systemctl", "exec /bin/sleep 20");
    const auto result = restart(300);
    ASSERT_TRUE(result && *result);
    EXPECT_EQ(**result, "systemctl did not finish within 0 s.");
}

TEST(SoundSettings, TheFirstKnownProgramOnThePathIsUsed)
{
    FakePath path;
    EXPECT_FALSE(SoundSettings::command());
    path.add("pavucontrol", "exit 0");
    EXPECT_EQ(SoundSettings::command(), QStringList{path.folder() + "/pavucontrol"});
    path.add("systemsettings", "exit 0");
    EXPECT_EQ(SoundSettings::command(), (QStringList{path.folder() + "/systemsettings", "kcm_pulseaudio"}));
    path.add("gnome-control-center", "exit 0");
    EXPECT_EQ(SoundSettings::command(), (QStringList{path.folder() + "/gnome-control-center", "sound"}));
}

TEST(SleepMonitor, WithoutABusThereAreNoSleepEventsAndNothingFails)
{
    SleepMonitor monitor(QDBusConnection(QStringLiteral("quorel-test-no-bus")));
    EXPECT_FALSE(monitor.isAvailable());
    EXPECT_FALSE(monitor.holdsInhibitor());
    monitor.allowSleep();
    EXPECT_FALSE(monitor.holdsInhibitor());
}
