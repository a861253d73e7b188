#include "DevicesE2ETest.h"

#include "PulseClient.h"

#include <QProcess>
#include <QThread>

#include <utility>

namespace quorel::test {

void DevicesE2ETest::SetUp()
{
    home_ = std::make_unique<TemporaryHome>();
    static bool speakersRan = false;  // the suite's server lives as long as this process
    if (!std::exchange(speakersRan, true)) letRun("test_speakers");
    pactl({"set-sink-volume", "test_speakers", "100%"});
    pactl({"set-sink-mute", "test_speakers", "0"});
    setServerDefault("test_speakers");
}

void DevicesE2ETest::TearDown()
{
    setServerDefault("test_speakers");
    while (!sinks_.empty()) removeSink(sinks_.back());
    home_.reset();
}

QString DevicesE2ETest::pactl(const QStringList& arguments, bool* ok) { return run("pactl", arguments, ok); }

void DevicesE2ETest::addSink(const QString& name, const QString& description, int channels)
{
    const QString positions = channels == 6 ? "FL FR FC LFE RL RR" : "FL FR";
    const QString properties = QString("{ factory.name=support.null-audio-sink node.name=%1 "
                                       "node.description=\"%2\" media.class=Audio/Sink "
                                       "object.linger=true audio.position=[%3] }")
                                   .arg(name, description, positions);
    bool ok = false;
    run("pw-cli", {"create-node", "adapter", properties}, &ok);
    ASSERT_TRUE(ok) << "could not add " << name.toStdString();
    ASSERT_TRUE(waitUntil([&] { return HAL::device(name).has_value(); })) << name.toStdString();
    sinks_.push_back(name);
}

void DevicesE2ETest::removeSink(const QString& name)
{
    run("pw-cli", {"destroy", name});
    EXPECT_TRUE(waitUntil([&] { return !HAL::device(name).has_value(); })) << name.toStdString();
    std::erase(sinks_, name);
}

void DevicesE2ETest::setServerDefault(const QString& name)
{
    pactl({"set-default-sink", name});
    const bool seen = waitUntil([&] {
        PulseSnapshot snapshot;
        return PulseClient::shared().read(snapshot) == 0 && snapshot.serverDefault == name;
    });
    ASSERT_TRUE(seen) << "the server did not make " << name.toStdString() << " its default";
}

void DevicesE2ETest::letRun(const QString& sink)
{
    QProcess listener;
    listener.start("parecord", {"--raw", "--device=" + sink + ".monitor"});
    ASSERT_TRUE(listener.waitForStarted());
    QThread::msleep(500);
    listener.kill();
    listener.waitForFinished();
}

HAL::ObjectID DevicesE2ETest::idOf(const QString& uid) { return HAL::device(uid).value_or(HAL::noDevice); }

}  // namespace quorel::test
