// Processing on while nothing plays: the graph stops like any idle sink's and the device
// suspends; the next sound is processed from its first cycle, with nothing of the one before.
#include "HeadlessServer.h"
#include "SoundCheck.h"
#include "TestSupport.h"
#include "ToolProcess.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <memory>
#include <vector>

using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;

namespace {

constexpr double toneDBFS = -20;  // peak; boosted by 6 dB below

// Waits up to `seconds` for the stand-in speaker to be suspended (WirePlumber suspends a node
// idle for 5 s).
bool speakerSuspends(int seconds)
{
    return quorel::test::waitUntil([] { return SoundCheck::nodeState("test_speakers") == "suspended"; },
                                   seconds * 1000);
}

// The first channel of a recorded file.
std::vector<float> firstChannel(const QString& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    std::vector<float> left(size_t(info.frames));
    for (size_t i = 0; i < left.size(); ++i) left[i] = samples[i * size_t(info.channels)];
    return left;
}

bool writeSilence(const QString& path, double seconds)
{
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) return false;
    const auto frames = sf_count_t(seconds * 48000);
    std::vector<float> samples(size_t(frames) * 2, 0.0f);
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

}  // namespace

TEST(IdleE2E, NothingPlayingLetsTheDeviceSuspendAndTheNextSoundStartsClean)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav"), silence = dir.filePath("silence.wav");
    const QString heard = dir.filePath("heard.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 3, toneDBFS));
    ASSERT_TRUE(writeSilence(silence, 0.5));

    ToolProcess tool;
    tool.start({"capture", "--seconds", "60", "--settings", R"({"boostDB": 6})"});
    const auto info = tool.waitForLine([](const QJsonObject& o) { return o.contains("info"); }, 20000);
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["bufferFrames"].toInt(), 1024);

    // A passive recorder hears what the speaker plays without keeping it running.
    QProcess recorder;
    recorder.start("pw-record", {"-P", "{ stream.capture.sink=true node.passive=true }", "--target", "test_speakers",
                                 "--format", "f32", "--rate", "48000", "--channels", "2", heard});
    ASSERT_TRUE(recorder.waitForStarted());

    // Processing on, nothing plays: the speaker suspends, as it does with Quorel off.
    EXPECT_TRUE(speakerSuspends(15)) << SoundCheck::nodeState("test_speakers").toStdString();

    // A tone cut off in the middle, the graph stopping after it; then, once the speaker has
    // suspended again, silence played: it must stay silent (no tail of the tone).
    QProcess player;
    player.start("pw-play", {tone});
    ASSERT_TRUE(player.waitForStarted());
    QThread::msleep(1000);
    player.kill();
    player.waitForFinished(5000);
    EXPECT_TRUE(speakerSuspends(15)) << SoundCheck::nodeState("test_speakers").toStdString();
    bool ok = false;
    run("pw-play", {silence}, &ok);
    EXPECT_TRUE(ok);
    QThread::msleep(300);
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));

    ::kill(pid_t(tool.process().processId()), SIGINT);
    const auto last = tool.waitForLine([](const QJsonObject& o) { return o.value("final").toBool(); }, 15000);
    ASSERT_TRUE(last);
    EXPECT_EQ(tool.finish(), 0);
    // The pauses are no missed cycles: each of them, counted, would be hundreds (15 s of 21 ms
    // cycles); a busy machine's own few are missed cycles indeed.
    EXPECT_LE(last->value("stats").toObject()["overloads"].toInt(), 10);

    const std::vector<float> samples = firstChannel(heard);
    size_t onset = 0;
    while (onset < samples.size() && std::fabs(samples[onset]) < 1e-4f) ++onset;
    ASSERT_LT(onset + 4800, samples.size()) << "the tone was not heard";
    // Processed from its first cycle: boosted by 6 dB from the first 5 ms on.
    auto rmsDB = [&](size_t from, size_t count) {
        double sum = 0;
        for (size_t i = from; i < from + count; ++i) sum += double(samples[i]) * samples[i];
        return 10 * std::log10(sum / double(count) + 1e-30);
    };
    const double expected = toneDBFS - 3.0103 + 6;
    for (size_t block = 0; block < 10; ++block)
        EXPECT_NEAR(rmsDB(onset + block * 240, 240), expected, 1.0) << "block " << block;
    // The end of the tone: the first 50 ms of digital silence after it. Nothing sounds after.
    size_t end = onset, quiet = 0;
    for (; end < samples.size() && quiet < 2400; ++end) quiet = std::fabs(samples[end]) < 1e-6f ? quiet + 1 : 0;
    ASSERT_LT(end, samples.size());
    float after = 0;
    for (size_t i = end; i < samples.size(); ++i) after = std::max(after, std::fabs(samples[i]));
    EXPECT_LT(after, 1e-4f) << "a sound was heard after the tone had ended";
}
