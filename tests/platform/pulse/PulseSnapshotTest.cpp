#include "PulseSnapshot.h"

#include <gtest/gtest.h>

using namespace quorel;
using Kind = PulseChange::Kind;

namespace {
PulseSink makeSink(uint32_t index, const QString& name, int channels = 2)
{
    PulseSink sink;
    sink.index = index;
    sink.name = name;
    sink.description = name + " device";
    sink.channels = channels;
    pa_cvolume_set(&sink.volume, uint8_t(channels), PA_VOLUME_NORM);
    return sink;
}

const QString ours = "local.quorel.aggregate.6F1C2A3B-0000-4000-8000-000000000001";

// Speakers and headphones, the server's default on the speakers.
PulseSnapshot desk()
{
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers"), makeSink(41, "headphones")};
    s.setServerDefault("speakers");
    return s;
}

std::vector<PulseChange> only(Kind kind) { return {PulseChange{kind, 0}}; }

QString defaultName(const PulseSnapshot& s)
{
    const PulseSink* sink = s.defaultOutput();
    return sink ? sink->name : QString();
}
}  // namespace

TEST(PulseSnapshot, OwnSinksAreRecognisedByBothPrefixes)
{
    EXPECT_TRUE(PulseSnapshot::isOwnSink(ours));
    EXPECT_TRUE(PulseSnapshot::isOwnSink("local.quorel.aggregate"));
    EXPECT_TRUE(PulseSnapshot::isOwnSink("local.corvanta.aggregate"));
    EXPECT_TRUE(PulseSnapshot::isOwnSink("local.corvanta.aggregate.old"));
    EXPECT_FALSE(PulseSnapshot::isOwnSink("local.quorel.aggregat"));
    EXPECT_FALSE(PulseSnapshot::isOwnSink("speakers.local.quorel.aggregate"));
    EXPECT_FALSE(PulseSnapshot::isOwnSink(""));
}

TEST(PulseSnapshot, TheServersRealDefaultIsTheDefaultOutput) { EXPECT_EQ(defaultName(desk()), "speakers"); }

TEST(PulseSnapshot, WhileOurSinkIsTheServersDefaultTheReplacedSinkStaysTheDefault)
{
    PulseSnapshot s = desk();
    s.sinks.push_back(makeSink(50, ours));
    s.setServerDefault(ours);
    EXPECT_EQ(s.serverDefault, ours);
    EXPECT_EQ(s.rememberedReal, "speakers");
    EXPECT_EQ(defaultName(s), "speakers");
}

TEST(PulseSnapshot, ARealSinkChosenWhileProcessingRunsBecomesTheDefault)
{
    PulseSnapshot s = desk();
    s.sinks.push_back(makeSink(50, ours));
    s.setServerDefault(ours);
    s.setServerDefault("headphones");
    EXPECT_EQ(defaultName(s), "headphones");
    s.setServerDefault(ours);
    EXPECT_EQ(defaultName(s), "headphones");
}

TEST(PulseSnapshot, WhenTheRememberedSinkIsGoneTheFirstRealSinkIsTheDefault)
{
    PulseSnapshot s = desk();
    s.sinks = {makeSink(50, ours), makeSink(41, "headphones")};
    s.setServerDefault(ours);
    EXPECT_EQ(defaultName(s), "headphones");
}

TEST(PulseSnapshot, AProcessThatNeverSawTheRealDefaultTakesTheStoredPreviousDefault)
{
    // Headphones were the default when processing started in another process; this one came
    // later and only ever saw our sink as the server's default.
    PulseSnapshot s;
    s.sinks = {makeSink(40, "speakers"), makeSink(41, "headphones"), makeSink(50, ours)};
    s.setServerDefault(ours);
    EXPECT_EQ(defaultName(s), "speakers");  // nothing known: the first real sink
    s.storedPrevious = "headphones";
    EXPECT_EQ(defaultName(s), "headphones");
    // What this process saw itself comes first.
    s.rememberedReal = "speakers";
    EXPECT_EQ(defaultName(s), "speakers");
    // A stored sink that is gone, or one of ours, is passed over.
    s.rememberedReal.clear();
    s.storedPrevious = "gone";
    EXPECT_EQ(defaultName(s), "speakers");
    s.storedPrevious = ours;
    EXPECT_EQ(defaultName(s), "speakers");
    // The server naming a real sink again wins over both.
    s.storedPrevious = "headphones";
    s.setServerDefault("speakers");
    EXPECT_EQ(defaultName(s), "speakers");
}

TEST(PulseSnapshot, OnlyOurOwnSinksMeanNoDefaultOutput)
{
    PulseSnapshot s;
    s.sinks = {makeSink(50, ours)};
    s.setServerDefault(ours);  // left behind by a crash, nothing remembered
    EXPECT_EQ(s.defaultOutput(), nullptr);
    EXPECT_EQ(PulseSnapshot().defaultOutput(), nullptr);
}

// With its only speaker gone the server offers a dummy ("auto_null"), which goes once any other
// sink (ours too) is there: it is never the default output nor remembered as one.
TEST(PulseSnapshot, TheServersDummySinkIsNoDefaultOutput)
{
    EXPECT_TRUE(PulseSnapshot::isDummySink("auto_null"));
    EXPECT_FALSE(PulseSnapshot::isDummySink("auto_null.monitor"));
    EXPECT_FALSE(PulseSnapshot::isDevice("auto_null"));
    EXPECT_FALSE(PulseSnapshot::isDevice(ours));
    EXPECT_TRUE(PulseSnapshot::isDevice("speakers"));
    PulseSnapshot s;
    s.sinks = {makeSink(60, "auto_null")};
    s.setServerDefault("auto_null");
    s.storedPrevious = "auto_null";
    EXPECT_EQ(s.rememberedReal, "");
    EXPECT_EQ(s.defaultOutput(), nullptr);
    s.sinks.push_back(makeSink(61, "headset"));
    EXPECT_EQ(defaultName(s), "headset");
}

TEST(PulseSnapshot, RunningMeansAStreamThatIsNotPausedPlaysIntoTheSink)
{
    PulseSnapshot s = desk();
    EXPECT_FALSE(s.isRunning(40));
    s.inputs = {{7, 40, true}};
    EXPECT_FALSE(s.isRunning(40));
    s.inputs.push_back({8, 41, false});
    EXPECT_FALSE(s.isRunning(40));
    EXPECT_TRUE(s.isRunning(41));
}

TEST(PulseSnapshotChanges, ARealSinkAppearingOrVanishingChangesTheList)
{
    const PulseSnapshot before = desk();
    PulseSnapshot after = before;
    after.sinks.push_back(makeSink(42, "hdmi"));
    EXPECT_EQ(PulseSnapshot::changes(before, after), only(Kind::deviceList));
    EXPECT_EQ(PulseSnapshot::changes(after, before), only(Kind::deviceList));
}

TEST(PulseSnapshotChanges, OurOwnSinkComingAndGoingAsDefaultIsNoChange)
{
    const PulseSnapshot idle = desk();
    PulseSnapshot running = idle;
    running.sinks.push_back(makeSink(50, ours));
    running.setServerDefault(ours);
    EXPECT_TRUE(PulseSnapshot::changes(idle, running).empty());
    PulseSnapshot stopped = running;
    stopped.sinks.pop_back();
    stopped.setServerDefault("speakers");
    EXPECT_TRUE(PulseSnapshot::changes(running, stopped).empty());
}

TEST(PulseSnapshotChanges, TheDummySinkComingAndGoingIsNoChange)
{
    PulseSnapshot none;
    PulseSnapshot dummy;
    dummy.sinks = {makeSink(60, "auto_null")};
    dummy.setServerDefault("auto_null");
    EXPECT_TRUE(PulseSnapshot::changes(none, dummy).empty());
    EXPECT_TRUE(PulseSnapshot::changes(dummy, none).empty());
    // A real device replacing it is one.
    PulseSnapshot headset;
    headset.sinks = {makeSink(61, "headset")};
    headset.setServerDefault("headset");
    EXPECT_EQ(PulseSnapshot::changes(dummy, headset),
              (std::vector<PulseChange>{{Kind::deviceList, 0}, {Kind::defaultOutput, 0}}));
}

TEST(PulseSnapshotChanges, TheDefaultMovingToAnotherRealSinkIsReported)
{
    const PulseSnapshot before = desk();
    PulseSnapshot after = before;
    after.setServerDefault("headphones");
    EXPECT_EQ(PulseSnapshot::changes(before, after), only(Kind::defaultOutput));
}

TEST(PulseSnapshotChanges, VolumeAndMuteNameTheirSink)
{
    const PulseSnapshot before = desk();
    PulseSnapshot after = before;
    pa_cvolume_set(&after.sinks[1].volume, 2, PA_VOLUME_NORM / 2);
    after.sinks[0].muted = true;
    const std::vector<PulseChange> expected{{Kind::mute, 40}, {Kind::volume, 41}};
    EXPECT_EQ(PulseSnapshot::changes(before, after), expected);
}

// Streams starting, pausing and stopping are no device change: only the sink they play into
// tells that it runs or stops running (a paused stream plays nothing).
TEST(PulseSnapshotChanges, StreamsStartingOrStoppingChangeOnlyWhetherTheirSinkRuns)
{
    const PulseSnapshot before = desk();
    PulseSnapshot after = before;
    after.inputs = {{7, 40, false}};
    after.sinks[0].sampleRate = 44100;
    const std::vector<PulseChange> running{{Kind::running, 40}};
    EXPECT_EQ(PulseSnapshot::changes(before, after), running);
    EXPECT_EQ(PulseSnapshot::changes(after, before), running);
    PulseSnapshot paused = after;
    paused.inputs = {{7, 40, true}};
    EXPECT_EQ(PulseSnapshot::changes(after, paused), running);
    EXPECT_TRUE(PulseSnapshot::changes(before, paused).empty());
    PulseSnapshot second = after;
    second.inputs.push_back({8, 40, false});
    EXPECT_TRUE(PulseSnapshot::changes(after, second).empty());
}

TEST(PulseSnapshotChanges, ASinkReplacedUnderTheSameIndexChangesTheListOnly)
{
    const PulseSnapshot before = desk();
    PulseSnapshot after = before;
    after.sinks[1] = makeSink(41, "hdmi");
    after.sinks[1].muted = true;
    EXPECT_EQ(PulseSnapshot::changes(before, after), only(Kind::deviceList));
}
