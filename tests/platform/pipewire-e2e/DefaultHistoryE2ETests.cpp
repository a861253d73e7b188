// The session manager keeps the last few configured defaults by name: starts of Quorel must not
// push the user's own devices out of that history.
#include "HeadlessServer.h"
#include "ToolProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::ToolProcess;

namespace {

bool makeDefault(const QString& sink)
{
    for (int i = 0; i < 100; ++i) {
        run("pactl", {"set-default-sink", sink});
        if (run("pactl", {"get-default-sink"}) == sink) return true;
        QThread::msleep(100);
    }
    return false;
}

// The names in WirePlumber's stored history of configured default sinks: WirePlumber 0.4 numbers
// them all (.0 the newest), 0.5 stores the newest without a number and the older ones numbered.
QStringList storedDefaults()
{
    QFile file(qEnvironmentVariable("XDG_STATE_HOME") + "/wireplumber/default-nodes");
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList names;
    static const QRegularExpression entry("^default\\.configured\\.audio\\.sink(?:\\.\\d+)?=(.*)$");
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const QRegularExpressionMatch match = entry.match(line.trimmed());
        if (match.hasMatch()) names << match.captured(1);
    }
    return names;
}

}  // namespace

TEST(DefaultHistoryE2E, SeventeenStartsKeepTheUsersDevicesInTheHistory)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    // The user chose two other devices before, then the speakers again.
    for (const QString name : {"user_first", "user_second"}) {
        bool ok = false;
        run("pw-cli",
            {"create-node", "adapter",
             QString("{ factory.name=support.null-audio-sink node.name=%1 media.class=Audio/Sink "
                     "object.linger=true audio.position=[FL FR] }")
                 .arg(name)},
            &ok);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(makeDefault(name));
    }
    ASSERT_TRUE(makeDefault("test_speakers"));

    for (int start = 0; start < 17; ++start) {
        ToolProcess tool;
        tool.start({"capture", "--seconds", "0.3"});
        ASSERT_EQ(tool.finish(20000), 0) << "start " << start << ": " << tool.errorText().toStdString();
    }
    ASSERT_EQ(run("pactl", {"get-default-sink"}), "test_speakers");

    // WirePlumber writes its state a moment after a change.
    QStringList history;
    for (int i = 0; i < 50 && !(history = storedDefaults()).contains("user_first"); ++i) QThread::msleep(100);
    QSet<QString> ours;
    for (const QString& name : history)
        if (name.startsWith("local.quorel.aggregate.")) ours.insert(name);
    EXPECT_LE(ours.size(), 1) << history.join(' ').toStdString();
    for (const QString name : {"test_speakers", "user_second", "user_first"})
        EXPECT_TRUE(history.contains(name)) << name.toStdString() << " lost: " << history.join(' ').toStdString();
}
