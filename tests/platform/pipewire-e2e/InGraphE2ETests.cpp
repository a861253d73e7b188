// The capture path inside the server's graph: what a crash leaves behind, and moving to another
// output device while sound plays.
#include "ChainFilter.h"
#include "GraphPath.h"
#include "HeadlessServer.h"
#include "PipeWireContext.h"
#include "ServerObject.h"
#include "SoundCheck.h"
#include "TestSupport.h"
#include "ToolProcess.h"

#include <pipewire/pipewire.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <memory>
#include <vector>

using namespace quorel::pipewire;
using quorel::test::HeadlessServer;
using quorel::test::run;
using quorel::test::SoundCheck;
using quorel::test::ToolProcess;
using quorel::test::waitUntil;

namespace {

bool hasKey(const QJsonObject& o, const char* key) { return o.contains(QLatin1String(key)); }
bool isInfo(const QJsonObject& o) { return hasKey(o, "info"); }

QString defaultSink() { return run("pactl", {"get-default-sink"}); }

// Global ids of the objects `pw-cli ls TYPE` lists whose properties match `pattern`.
QSet<int> objectsMatching(const QString& type, const QRegularExpression& pattern)
{
    QSet<int> ids;
    const QString listing = run("pw-cli", {"ls", type});
    const QStringList blocks = listing.split(QRegularExpression("\n(?=\\s*id \\d+, type)"));
    static const QRegularExpression idPattern("id (\\d+), type");
    for (const QString& block : blocks) {
        const QRegularExpressionMatch id = idPattern.match(block);
        if (id.hasMatch() && pattern.match(block).hasMatch()) ids.insert(id.captured(1).toInt());
    }
    return ids;
}

QSet<int> ourNodes() { return objectsMatching("Node", QRegularExpression("node.name = \"local\\.quorel\\.")); }

QSet<int> linksTouching(const QSet<int>& nodes)
{
    QSet<int> links;
    for (const int node : nodes) {
        const QRegularExpression ends(QString("link\\.(output|input)\\.node = \"%1\"").arg(node));
        links.unite(objectsMatching("Link", ends));
    }
    return links;
}

}  // namespace

// ---- A crash

TEST(InGraphE2E, KillNineWhileAToneplaysGivesTheToneToTheSpeakerAtOnceAndLeavesNothingOfOurs)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav"), heard = dir.filePath("heard.wav");
    const QString straightTone = dir.filePath("straight.wav");
    ASSERT_TRUE(SoundCheck::writeTone(tone, 5.0, -20, 0));
    ASSERT_TRUE(SoundCheck::writeTone(straightTone, 5.0, -20, 1));
    // Beside ours, a sink of someone else's that goes at the same moment, a player in it: what
    // the session manager takes to move that player to the speaker is the machine's own time.
    bool made = false;
    run("pw-cli",
        {"create-node", "adapter",
         "{ factory.name=support.null-audio-sink node.name=other_sink media.class=Audio/Sink "
         "object.linger=true audio.position=[FL FR] }"},
        &made);
    ASSERT_TRUE(made);
    ASSERT_TRUE(waitUntil([] { return run("pactl", {"list", "short", "sinks"}).contains("other_sink"); }));

    ToolProcess tool;
    tool.start({"capture", "--seconds", "60"});
    ASSERT_TRUE(tool.waitForLine(isInfo, 20000)) << tool.errorText().toStdString();
    const QSet<int> nodes = ourNodes();
    ASSERT_EQ(nodes.size(), 2);  // the virtual sink and the filter
    const QSet<int> links = linksTouching(nodes);
    ASSERT_GE(links.size(), 4);  // sink to filter, filter to speaker

    QProcess recorder;
    recorder.start("pw-record", {"-P", "{ stream.capture.sink=true }", "--target", "test_speakers", "--format", "f32",
                                 "--rate", "48000", "--channels", "2", heard});
    ASSERT_TRUE(recorder.waitForStarted());
    QProcess player, straight;
    player.start("pw-play", {tone});
    straight.start("pw-play", {"--target", "other_sink", straightTone});
    ASSERT_TRUE(player.waitForStarted() && straight.waitForStarted());
    QThread::msleep(2000);
    QProcess remover;
    remover.start("pw-cli", {"destroy", "other_sink"});
    ASSERT_EQ(::kill(pid_t(tool.process().processId()), SIGKILL), 0);
    tool.finish();
    ASSERT_TRUE(remover.waitForFinished(10000));
    ASSERT_TRUE(player.waitForFinished(20000) && straight.waitForFinished(20000));
    QThread::msleep(300);
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));

    // Nothing of ours is left: no node, no link.
    EXPECT_TRUE(ourNodes().isEmpty());
    const QSet<int> remaining = objectsMatching("Link", QRegularExpression("."));
    EXPECT_FALSE(remaining.intersects(links));
    EXPECT_TRUE(linksTouching(nodes).isEmpty());
    EXPECT_EQ(defaultSink(), "test_speakers");

    // The tone went on at the speaker within 100 ms, or within what the session manager took
    // to bring the other player there (from the moment ours went quiet, as both sinks went at
    // once) and 50 ms more: no longer silence inside it.
    const std::vector<double> levels = SoundCheck::blockLevels(heard, 5, 0);
    size_t first = 0, last = levels.size();
    while (first < levels.size() && levels[first] < -45) ++first;
    while (last > first && levels[last - 1] < -45) --last;
    ASSERT_GT(last - first, size_t(800));  // about 5 s of 5 ms blocks
    size_t longest = 0, silent = 0, quietFrom = first;
    for (size_t i = first; i < last; ++i) {
        silent = levels[i] < -45 ? silent + 1 : 0;
        if (silent > longest) {
            longest = silent;
            quietFrom = i + 1 - silent;
        }
    }
    const std::vector<double> others = SoundCheck::blockLevels(heard, 5, 1);
    size_t arrived = 0;
    while (arrived < others.size() && others[arrived] < -45) ++arrived;
    ASSERT_LT(arrived, others.size()) << "the other player never reached the speaker";
    const size_t otherMS = arrived > quietFrom ? (arrived - quietFrom) * 5 : 0;
    EXPECT_LE(longest * 5, std::max<size_t>(100, otherMS + 50))
        << "silent for " << longest * 5 << " ms; the other player came after " << otherMS << " ms";
}

// ---- Moving to another device

namespace {

// A recorder inside the graph: whatever is linked to its first input, one sample per frame.
struct Tape {
    std::vector<float> samples = std::vector<float>(size_t(48000) * 16, 0.0f);
    std::vector<float> right = std::vector<float>(size_t(48000) * 16, 0.0f);
    std::atomic<size_t> length{0};

    static void record(void* context, const float* const* input, uint32_t, float* const* output,
                       uint32_t outputChannels, uint32_t frames, bool)
    {
        auto* self = static_cast<Tape*>(context);
        const size_t at = self->length.load(std::memory_order_relaxed);
        const size_t n = std::min<size_t>(frames, self->samples.size() - at);
        std::copy_n(input[0], n, self->samples.data() + at);
        std::copy_n(input[1], n, self->right.data() + at);
        self->length.store(at + n, std::memory_order_release);
        for (uint32_t c = 0; c < outputChannels; ++c) std::fill_n(output[c], frames, 0.0f);
    }
};

void passThrough(void*, const float* const* input, uint32_t, float* const* output, uint32_t outputChannels,
                 uint32_t frames, bool)
{
    for (uint32_t c = 0; c < outputChannels; ++c) std::copy_n(input[c], frames, output[c]);
}

std::unique_ptr<ServerObject> linkPorts(PipeWireContext& context, uint32_t outputNode, uint32_t outputPort,
                                        uint32_t inputNode, uint32_t inputPort)
{
    int error = 0;
    return ServerObject::create(context, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK,
                                {{PW_KEY_LINK_OUTPUT_NODE, std::to_string(outputNode)},
                                 {PW_KEY_LINK_OUTPUT_PORT, std::to_string(outputPort)},
                                 {PW_KEY_LINK_INPUT_NODE, std::to_string(inputNode)},
                                 {PW_KEY_LINK_INPUT_PORT, std::to_string(inputPort)}},
                                error);
}

uint32_t monitorPort(PipeWireContext& context, const std::string& node, const std::string& channel)
{
    const auto found = context.nodeNamed(node);
    if (!found) return 0;
    for (const PipeWireContext::Port& port : context.ports(found->id))
        if (!port.input && port.monitor && port.channel == channel) return port.id;
    return 0;
}

uint32_t monitorLeft(PipeWireContext& context, const std::string& node) { return monitorPort(context, node, "FL"); }

// The longest run of digital silence in `samples` between the tone's first and last sound.
size_t longestSilence(const std::vector<float>& samples, size_t length)
{
    size_t first = 0, last = length;
    while (first < length && std::fabs(samples[first]) < 0.01f) ++first;
    while (last > first && std::fabs(samples[last - 1]) < 0.01f) --last;
    size_t longest = 0, silent = 0;
    for (size_t i = first; i < last; ++i) {
        silent = std::fabs(samples[i]) < 1e-4f ? silent + 1 : 0;
        longest = std::max(longest, silent);
    }
    return longest;
}

// The pulse layer's index of the one stream that plays to `sink`, empty when none does.
QString streamPlayingTo(const QString& sink)
{
    QString index;
    for (const QString& line : run("pactl", {"list", "short", "sinks"}).split('\n'))
        if (line.section('\t', 1, 1) == sink) index = line.section('\t', 0, 0);
    if (index.isEmpty()) return {};
    for (const QString& line : run("pactl", {"list", "short", "sink-inputs"}).split('\n'))
        if (line.section('\t', 1, 1) == index) return line.section('\t', 0, 0);
    return {};
}

}  // namespace

TEST(InGraphE2E, MovingToAnotherDeviceWhilePlayingLeavesAtMostOneCycleOfGap)
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
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    ASSERT_TRUE(
        waitUntil([&] { return monitorLeft(*context, "other_speakers") && monitorLeft(*context, "test_speakers"); }));

    GraphPath::Options options;
    options.sinkName = "local.quorel.aggregate.MOVE";
    options.description = "Quorel";
    options.latencyFrames = 1024;
    auto path = GraphPath::create(*context, options, error);
    ASSERT_TRUE(path) << error;
    ASSERT_EQ(path->connectOutput("test_speakers"), 0);
    EXPECT_EQ(path->outputChannels(), 2u);
    path->filter().setProcessor(&passThrough, nullptr, 2);
    ASSERT_EQ(path->filter().setActive(true), 0);

    // Both speakers' monitors into the recorder, in the same graph: the tape holds what either
    // speaker plays, sample by sample: in the left channel the tone through the path, in the
    // right the same tone played straight, which the server moves at the same moment, as a
    // session manager moves a stream. The path's move may cost one cycle more than that.
    Tape tape;
    ChainFilter::Options recorderOptions;
    recorderOptions.nodeName = "quorel.test.recorder";
    recorderOptions.latencyFrames = 1024;
    auto recorder = ChainFilter::create(*context, recorderOptions, error);
    ASSERT_TRUE(recorder) << error;
    recorder->setProcessor(&Tape::record, &tape, 2);
    auto fromFirst = linkPorts(*context, context->nodeNamed("test_speakers")->id,
                               monitorLeft(*context, "test_speakers"), recorder->nodeID(), recorder->inputPort(0));
    auto fromSecond = linkPorts(*context, context->nodeNamed("other_speakers")->id,
                                monitorLeft(*context, "other_speakers"), recorder->nodeID(), recorder->inputPort(0));
    auto rightFromFirst =
        linkPorts(*context, context->nodeNamed("test_speakers")->id, monitorPort(*context, "test_speakers", "FR"),
                  recorder->nodeID(), recorder->inputPort(1));
    auto rightFromSecond =
        linkPorts(*context, context->nodeNamed("other_speakers")->id, monitorPort(*context, "other_speakers", "FR"),
                  recorder->nodeID(), recorder->inputPort(1));
    ASSERT_TRUE(fromFirst && fromSecond && rightFromFirst && rightFromSecond);
    ASSERT_EQ(recorder->setActive(true), 0);

    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav"), straightTone = dir.filePath("straight.wav");
    // Long enough that, on a loaded machine, the straight tone still plays when its move is
    // looked for: a tone that has ended is no stream to find on either speaker.
    ASSERT_TRUE(SoundCheck::writeTone(tone, 8.0, -20, 0));
    ASSERT_TRUE(SoundCheck::writeTone(straightTone, 8.0, -20, 1));
    QProcess player, straight;
    player.start("pw-play", {"--target", QString::fromStdString(options.sinkName), tone});
    straight.start("pw-play", {"-P", "{ node.name=quorel.test.straight }", "--target", "test_speakers", straightTone});
    ASSERT_TRUE(player.waitForStarted() && straight.waitForStarted());
    QString stream;
    ASSERT_TRUE(waitUntil([&] { return !(stream = streamPlayingTo("test_speakers")).isEmpty(); }));
    QThread::msleep(2000);
    // The move a sound settings panel asks for: the stream's target in the "default" metadata,
    // which the session manager follows. (Through the pulse layer, `pactl move-sink-input`, a
    // loaded server answers success and may not move the stream at all.)
    const auto straightNode = context->nodeNamed("quorel.test.straight");
    ASSERT_TRUE(straightNode);
    QProcess mover;
    mover.start("pw-metadata", {QString::number(straightNode->id), "target.object", "other_speakers"});
    ASSERT_EQ(path->connectOutput("other_speakers"), 0);
    EXPECT_EQ(path->target(), "other_speakers");
    ASSERT_TRUE(mover.waitForFinished(10000));
    EXPECT_TRUE(waitUntil([&] { return streamPlayingTo("other_speakers") == stream; }, 5000))
        << "the server did not move the straight tone";
    // (A player that ended while the event loop ran is no longer running: waitForFinished()
    // answers false for it.)
    for (QProcess* p : {&player, &straight})
        ASSERT_TRUE(p->state() == QProcess::NotRunning || p->waitForFinished(20000)) << "a player did not end";
    QThread::msleep(300);
    recorder->setActive(false);
    path->filter().setActive(false);
    context->flushRealtime();

    // The old speaker is silent and the new one plays.
    EXPECT_TRUE(context->isLinked(path->filter().outputPort(0), [&] {
        for (const auto& port : context->ports(context->nodeNamed("other_speakers")->id))
            if (port.input && port.channel == "FL") return port.id;
        return 0u;
    }()));
    EXPECT_EQ(context->linksInto(context->nodeNamed("test_speakers")->id), 0);

    // Within the tone (-20 dBFS peak, 1 kHz), no run of silence longer than one cycle more than
    // the straight tone's.
    const size_t length = tape.length.load(std::memory_order_acquire);
    ASSERT_GT(length, size_t(48000) * 3) << "recorded " << length << " frames, recorder cycles " << recorder->cycles();
    const size_t longest = longestSilence(tape.samples, length), straightLongest = longestSilence(tape.right, length);
    EXPECT_LE(longest, straightLongest + 1024)
        << "silent for " << longest << " frames, the straight tone for " << straightLongest;
    recorder.reset();
    path.reset();
    run("pw-cli", {"destroy", "other_speakers"});
}

// ---- The session manager starting again

TEST(InGraphE2E, AfterTheSessionManagerStartsAgainOurSinkIsTheDefaultAndThePathIsWhole)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60", "--settings", R"({"boostDB": 6})"});
    ASSERT_TRUE(tool.waitForLine(isInfo, 20000)) << tool.errorText().toStdString();
    const QString ours = defaultSink();
    ASSERT_TRUE(ours.startsWith("local.quorel.aggregate."));

    const qint64 manager = HeadlessServer::processPid("wireplumber");
    ASSERT_GT(manager, 0);
    ASSERT_EQ(::kill(pid_t(manager), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists("/proc/" + QString::number(manager)); }));
    QThread::msleep(500);
    ASSERT_GT(HeadlessServer::startProcess("wireplumber"), 0);
    // It takes our sink over again: still the default, and its monitor feeds the filter again.
    ASSERT_TRUE(waitUntil(
        [&] {
            return run("pw-metadata", {"-n", "default", "0", "default.audio.sink"}).contains(ours);
        },
        20000));
    ASSERT_TRUE(waitUntil([&] { return linksTouching(ourNodes()).size() >= 4; }, 10000));
    // Processing ran on throughout, and stops in order.
    QThread::msleep(1000);
    ::kill(pid_t(tool.process().processId()), SIGINT);
    EXPECT_EQ(tool.finish(), 0) << tool.errorText().toStdString();
    EXPECT_TRUE(ourNodes().isEmpty());
}

// ---- Mono and surround devices

namespace {

bool createSpeaker(const QString& name, const QString& positions)
{
    bool ok = false;
    run("pw-cli",
        {"create-node", "adapter",
         QString("{ factory.name=support.null-audio-sink node.name=%1 media.class=Audio/Sink "
                 "object.linger=true audio.position=[%2] }")
             .arg(name, positions)},
        &ok);
    return ok && waitUntil([&] { return run("pactl", {"list", "short", "sinks"}).contains(name); });
}

// Plays a -20 dBFS tone in the left channel to `speaker`, through the capture (`info` then holds
// what it printed) or straight to it, and returns the loudest block level of each of its first
// `channels` channels (front left, right, centre, LFE, rear left, right).
std::vector<double> heardPerChannel(const QString& speaker, int channels, bool throughQuorel, QJsonObject& info)
{
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav");
    if (!SoundCheck::writeTone(tone, 2.0, -20, 0)) return {};
    ToolProcess tool;
    if (throughQuorel) {
        tool.start({"capture", "--seconds", "60", "--output", speaker});
        const auto line = tool.waitForLine(isInfo, 20000);
        if (!line) return {};
        info = line->value("info").toObject();
    }
    static const char* const names[] = {"front-left", "front-right", "front-center", "lfe", "rear-left", "rear-right"};
    std::vector<QString> files;
    std::vector<std::unique_ptr<QProcess>> recorders;
    // One recorder per channel: the monitor's channels one by one.
    for (int c = 0; c < channels; ++c) {
        files.push_back(dir.filePath(QString("heard-%1.wav").arg(c)));
        auto recorder = std::make_unique<QProcess>();
        recorder->start("parecord", {"--latency-msec=20", "--device=" + speaker + ".monitor", "--file-format=wav",
                                     "--format=float32le", "--rate=48000", "--channels=1", "--no-remix",
                                     QString("--channel-map=%1").arg(channels == 1 ? "mono" : names[c]), files.back()});
        recorder->waitForStarted();
        recorders.push_back(std::move(recorder));
    }
    QThread::msleep(400);
    if (throughQuorel)
        run("pw-play", {tone}, nullptr, 20000);
    else
        run("pw-play", {"--target", speaker, tone}, nullptr, 20000);
    QThread::msleep(200);
    for (auto& recorder : recorders) {
        recorder->terminate();
        recorder->waitForFinished(5000);
    }
    if (throughQuorel) {
        ::kill(pid_t(tool.process().processId()), SIGINT);
        tool.finish();
    }
    std::vector<double> result;
    for (const QString& file : files) {
        const std::vector<double> levels = SoundCheck::blockLevels(file, 20);
        double loudest = -200;
        for (const double level : levels) loudest = std::max(loudest, level);
        result.push_back(loudest);
    }
    return result;
}

}  // namespace

// The server mixes a stereo player's sound to a device's own layout (its upmix to centre and
// rears, its levels on a mono device, which differ between its versions): Quorel's output
// reaches such a device as that player's would, channel by channel.
TEST(InGraphE2E, MonoAndSurroundDevicesHearWhatAStereoPlayerPlayedStraightToThemHears)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(createSpeaker("mono_speaker", "MONO"));
    ASSERT_TRUE(createSpeaker("surround_speakers", "FL FR FC LFE RL RR"));

    for (const auto& [speaker, channels] : {std::pair{QString("mono_speaker"), 1}, {"surround_speakers", 6}}) {
        SCOPED_TRACE(speaker.toStdString());
        QJsonObject info;
        const std::vector<double> straight = heardPerChannel(speaker, channels, false, info);
        const std::vector<double> heard = heardPerChannel(speaker, channels, true, info);
        ASSERT_EQ(straight.size(), size_t(channels));
        ASSERT_EQ(heard.size(), size_t(channels));
        EXPECT_EQ(info["outputChannels"].toInt(), 2);
        EXPECT_GT(straight[0], -30);  // the tone played
        for (int c = 0; c < channels; ++c) {
            SCOPED_TRACE(c);
            if (straight[size_t(c)] < -80)
                EXPECT_LT(heard[size_t(c)], -80);
            else
                EXPECT_NEAR(heard[size_t(c)], straight[size_t(c)], 1.0);
        }
    }
}

// ---- Links the server dropped

TEST(InGraphE2E, RelinkMakesAgainALinkTakenAwayAndFollowsADeviceThatCameBackUnderItsName)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    ASSERT_TRUE(createSpeaker("coming_back", "FL FR"));
    int error = 0;
    auto context = PipeWireContext::connect(error);
    ASSERT_TRUE(context) << error;
    GraphPath::Options options;
    options.sinkName = "local.quorel.aggregate.RELINK";
    options.description = "Quorel";
    auto path = GraphPath::create(*context, options, error);
    ASSERT_TRUE(path) << error;
    ASSERT_TRUE(waitUntil([&] { return context->nodeNamed("coming_back").has_value(); }));
    ASSERT_EQ(path->connectOutput("coming_back"), 0);
    // The same device again: its links are made anew, not refused as doubles.
    ASSERT_EQ(path->connectOutput("coming_back"), 0);
    auto linkedToDevice = [&] {
        const auto node = context->nodeNamed("coming_back");
        return node && context->linksInto(node->id) == 2;
    };
    ASSERT_TRUE(waitUntil(linkedToDevice));

    // Someone else removes one of our links.
    const QSet<int> links = linksTouching({int(path->filter().nodeID())});
    ASSERT_EQ(links.size(), 4);
    bool ok = false;
    run("pw-cli", {"destroy", QString::number(*links.begin())}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(waitUntil([&] { return linksTouching({int(path->filter().nodeID())}).size() == 3; }));
    path->relink();
    EXPECT_TRUE(waitUntil([&] { return linksTouching({int(path->filter().nodeID())}).size() == 4; }));

    // The device goes and comes back (a new node under the same name).
    run("pw-cli", {"destroy", "coming_back"}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(waitUntil([&] { return !context->nodeNamed("coming_back"); }));
    ASSERT_TRUE(createSpeaker("coming_back", "FL FR"));
    ASSERT_TRUE(waitUntil([&] {
        const auto node = context->nodeNamed("coming_back");
        return node && context->ports(node->id).size() >= 4;
    }));
    EXPECT_FALSE(linkedToDevice());
    path->relink();
    EXPECT_TRUE(waitUntil(linkedToDevice));
    path.reset();
    run("pw-cli", {"destroy", "coming_back"});
}

// ---- The graph's rate

// The chain follows the rate the graph runs at: a +12 dB equalizer band at 1 kHz lifts a 1 kHz
// tone by 12 dB at 48 kHz, and again once the server switches the graph to 44.1 kHz while the
// tone plays through us (a chain left at 48 kHz would put the band near 919 Hz: +7.6 dB).
TEST(InGraphE2E, AnEqualizerBandStaysOnItsFrequencyWhenTheGraphSwitchesTo44100WhilePlaying)
{
    HeadlessServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().toStdString();
    QTemporaryDir dir;
    const QString tone = dir.filePath("tone.wav"), heard = dir.filePath("heard.wav");
    constexpr double peakDBFS = -30;  // +12 dB stays well below the limiter's ceiling
    constexpr double toneRMS = peakDBFS - 3.0103;
    ASSERT_TRUE(SoundCheck::writeTone(tone, 7.0, peakDBFS));

    QStringList bands;
    for (int i = 0; i < 31; ++i) bands << (i == 17 ? "12" : "0");  // band 17: 1 kHz
    ToolProcess tool;
    tool.start({"capture", "--seconds", "60", "--settings", "{\"bands\": [" + bands.join(", ") + "]}"});
    const auto info = tool.waitForLine(isInfo, 20000);
    ASSERT_TRUE(info) << tool.errorText().toStdString();
    EXPECT_EQ(info->value("info")["sampleRate"].toDouble(), 48000);

    QProcess recorder;
    recorder.start("parecord", {"--latency-msec=20", "--device=test_speakers.monitor", "--file-format=wav",
                                "--format=float32le", "--rate=48000", "--channels=2", heard});
    ASSERT_TRUE(recorder.waitForStarted());
    QThread::msleep(300);
    QProcess player;
    player.start("pw-play", {tone});
    ASSERT_TRUE(player.waitForStarted());
    QThread::msleep(2500);
    bool ok = false;
    run("pw-metadata", {"-n", "settings", "0", "clock.force-rate", "44100"}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(player.waitForFinished(20000));
    recorder.terminate();
    ASSERT_TRUE(recorder.waitForFinished(5000));
    run("pw-metadata", {"-n", "settings", "0", "clock.force-rate", "0"});
    ::kill(pid_t(tool.process().processId()), SIGTERM);
    EXPECT_EQ(tool.finish(), 0) << tool.errorText().toStdString();

    // 20 ms blocks from the tone's start: 48 kHz for its first 2.5 s, 44.1 kHz from then on.
    std::vector<double> levels = SoundCheck::blockLevels(heard, 20);
    size_t first = 0;
    while (first < levels.size() && levels[first] < -60) ++first;
    ASSERT_GT(levels.size(), first + 300) << "too little of the tone was heard";
    EXPECT_NEAR(SoundCheck::medianLevel(levels, first + 10, first + 100), toneRMS + 12, 1.0) << "at 48 kHz";
    // A moment after the switch, to its end.
    EXPECT_NEAR(SoundCheck::medianLevel(levels, first + 175, first + 320), toneRMS + 12, 1.0) << "at 44.1 kHz";
}
