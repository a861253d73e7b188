#include "FakeChain.h"
#include "ModelTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace quorel;
using quorel::test::ModelHarness;

namespace {

const QString off = "Off. Other apps play directly to the output.";
const QString starting = QString::fromUtf8("Starting… Quorel becomes the default output while processing runs.");
const QString processing = "Processing system audio on Speakers.";
const QString ready = "Ready on Speakers. Processing starts with the first sound an app plays.";

void start(ModelHarness& h)
{
    h.model->setActive(true);
    h.settle();
    ASSERT_TRUE(h.model->isActive());
}

}  // namespace

TEST(SystemModel, StartsOffWithRestingMetersAndTheStoredOutput)
{
    quorel::test::TemporaryHome home;
    UserDefaults::standard().setString(SystemModel::outputDeviceKey, "headphones");
    ModelHarness h;
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
    EXPECT_EQ(h.model->meters(), SystemModel::Meters());
    EXPECT_EQ(h.model->meters().inputDB, -120);
    EXPECT_EQ(h.model->stats().inputPeakDB(), -120);
    EXPECT_FALSE(h.model->info());
    EXPECT_EQ(h.model->outputDevices().size(), 1u);
    EXPECT_TRUE(h.backend->log().isEmpty());
}

TEST(SystemModel, AStartShowsItsStatusesStoresTheChoiceAndKicksThePrimerOnce)
{
    ModelHarness h;
    QSignalSpy statuses(h.model.get(), &SystemModel::statusChanged);
    h.model->setActive(true);
    EXPECT_EQ(h.status(), starting);
    EXPECT_FALSE(h.model->isActive());
    h.settle();
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), processing);
    EXPECT_EQ(h.model->info()->deviceName, "Speakers");
    EXPECT_EQ(h.storedActive(), true);
    EXPECT_EQ(h.model->primeKicks(), 1);
    EXPECT_EQ(h.primer->kicks(), 1);
    EXPECT_FALSE(h.model->errorMessage());
    EXPECT_EQ(h.backend->serverDefault, h.backend->tapUID());
    EXPECT_GE(statuses.count(), 2);
}

TEST(SystemModel, OffWhileStartingWinsOverTheLateStart)
{
    ModelHarness h;
    h.backend->holdCapture = true;
    h.model->setActive(true);
    ASSERT_TRUE(quorel::test::waitUntil([&] { return h.backend->waitingInCapture(); }));
    h.model->setActive(false);
    EXPECT_EQ(h.status(), off);
    h.backend->release();
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
    EXPECT_FALSE(h.model->errorMessage());
    EXPECT_FALSE(h.engine->isRunning());
    EXPECT_EQ(h.storedActive(), false);
    EXPECT_EQ(h.backend->serverDefault, "speakers");
}

TEST(SystemModel, TwoQuickStartsEndInOneRunningStartAndNoError)
{
    ModelHarness h;
    QSignalSpy active(h.model.get(), &SystemModel::activeChanged);
    h.model->setActive(true);
    h.model->setActive(true);
    h.settle();
    EXPECT_TRUE(h.model->isActive());
    EXPECT_FALSE(h.model->errorMessage());
    EXPECT_EQ(h.status(), processing);
    EXPECT_EQ(h.backend->liveTaps(), 1u);
}

TEST(SystemModel, AStartFailureShowsTheErrorAndAPermissionFailureAsksForIt)
{
    ModelHarness h;
    h.backend->tapStatus = status::illegalOperation;
    h.model->setActive(true);
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Could not enable processing.");
    ASSERT_TRUE(h.model->error());
    EXPECT_TRUE(h.model->error()->contains("'nope'"));
    EXPECT_TRUE(h.model->needsPermission());
    // Nothing retries by itself.
    h.advance(10);
    EXPECT_FALSE(h.model->isActive());
    h.backend->tapStatus = 0;
    start(h);
    EXPECT_FALSE(h.model->needsPermission());
    EXPECT_FALSE(h.model->errorMessage());
}

TEST(SystemModel, SettingsHandedOverWhileOffAreUsedByTheNextStart)
{
    ModelHarness h;
    DSPSettings settings;
    settings.boostDB = 4;
    h.model->configure(settings, false);
    EXPECT_TRUE(h.backend->log().isEmpty());
    start(h);
    EXPECT_EQ(h.engine->settings().boostDB, 4);
    EXPECT_FALSE(h.engine->processed());
    settings.boostDB = 2;
    h.model->configure(settings, true);
    EXPECT_EQ(h.engine->settings().boostDB, 2);
    EXPECT_TRUE(h.engine->processed());
}

TEST(SystemModel, TheSilentSystemWaitsForAudioWithOneMorePrimerKick)
{
    ModelHarness h;
    h.backend->sourceRunning = false;
    start(h);
    h.advance(1.8);
    EXPECT_EQ(h.status(), processing);
    EXPECT_FALSE(h.model->waitingForAudio());
    h.advance(0.6);  // past 2 s without a callback
    EXPECT_TRUE(h.model->waitingForAudio());
    EXPECT_EQ(h.status(), ready);
    EXPECT_EQ(h.model->primeKicks(), 1);
    h.advance(2.0);  // past 4 s: the second kick, and only one more
    EXPECT_EQ(h.model->primeKicks(), 2);
    EXPECT_EQ(h.primer->kicks(), 2);
    h.advance(10);
    EXPECT_EQ(h.model->primeKicks(), 2);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_FALSE(h.model->isRestartPending());
    // The first sound: processing again.
    h.cycle();
    h.advance(0.3);
    EXPECT_FALSE(h.model->waitingForAudio());
    EXPECT_EQ(h.status(), processing);
}

TEST(SystemModel, NoPrimeCountsKicksButNeverPlays)
{
    ModelHarness h([](SystemModel::Options& o) { o.noPrime = true; });
    h.backend->sourceRunning = false;
    start(h);
    h.advance(5);
    EXPECT_EQ(h.model->primeKicks(), 2);
    EXPECT_EQ(h.primer->kicks(), 0);
}

TEST(SystemModel, AnAppPlayingWithNothingArrivingRetriesFiveTimesThenFails)
{
    ModelHarness h;
    h.backend->sourceRunning = true;
    start(h);
    for (int retry = 1; retry <= 5; ++retry) {
        // The retry comes just over 2 s after the start.
        h.advance(1.9);
        for (int i = 0; i < 4 && !h.model->isRestartPending(); ++i) h.advance(0.1);
        ASSERT_EQ(h.status(), QString("An app is playing, but no audio reaches Quorel; retrying in 5 s (%1 of 5). If "
                                      "this keeps up, the sound server (PipeWire) may need a restart.")
                                  .arg(retry));
        EXPECT_FALSE(h.model->isActive());
        EXPECT_TRUE(h.model->isRestartPending());
        EXPECT_EQ(h.storedActive(), true);
        h.advance(4.8);
        EXPECT_FALSE(h.model->isActive());
        h.advance(0.3);
        ASSERT_TRUE(h.model->isActive());
        EXPECT_EQ(h.status(), processing);
    }
    h.advance(2.2);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Stopped because of an error.");
    EXPECT_EQ(*h.model->error(), "The system did not deliver audio to Quorel. The sound server (PipeWire) may be "
                                 "stuck. Use “Restart audio service” to resume processing automatically.");
    EXPECT_TRUE(h.model->needsPermission());
    EXPECT_TRUE(h.model->canRestartAudioService());
    EXPECT_FALSE(h.model->isRestartPending());
    EXPECT_EQ(h.storedActive(), true);
    // Failed stays off.
    h.advance(10);
    EXPECT_FALSE(h.model->isActive());
    // Switching on again resets the count.
    start(h);
    h.advance(2.2);
    EXPECT_TRUE(h.status().contains("(1 of 5)"));
    EXPECT_FALSE(h.model->canRestartAudioService() && h.model->isActive());
}

namespace {

// Runs the flow until it stalls: one callback, then more than 3 s without another.
void stall(ModelHarness& h)
{
    h.cycle();
    h.advance(0.3);
    h.advance(3.2);
}

}  // namespace

TEST(SystemModel, StallsRestartThreeTimesWithinFiveMinutesThenFail)
{
    ModelHarness h;
    h.backend->sourceRunning = true;
    start(h);
    for (int restart = 1; restart <= 3; ++restart) {
        stall(h);
        ASSERT_EQ(h.status(), QString("Audio stopped flowing; reconnecting (%1 of 3).").arg(restart));
        EXPECT_FALSE(h.model->isActive());
        h.advance(1.1);
        ASSERT_TRUE(h.model->isActive());
    }
    ASSERT_EQ(h.model->stats().callbacks, 0u) << "a restarted run counts afresh";
    stall(h);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Stopped because of an error.");
    EXPECT_EQ(*h.model->error(), QString::fromUtf8("System audio repeatedly stopped flowing. Use “Restart audio "
                                                   "service” to resume processing automatically."));
    EXPECT_TRUE(h.model->canRestartAudioService());
    EXPECT_FALSE(h.model->needsPermission());
    // The meters rest; the counters keep the last run's values (its one cycle before the stall).
    EXPECT_EQ(h.model->meters(), SystemModel::Meters());
    EXPECT_EQ(h.model->stats().callbacks, 1u);
    EXPECT_EQ(h.storedActive(), true);
}

// The graph stops whenever nothing plays: cycles that stop while nobody can say whether a source
// runs (the sound server does not answer) are no stall; the engine's fault tells a lost server.
TEST(SystemModel, CyclesStoppingWhileNobodyCanSayWhetherASourceRunsAreNoStall)
{
    ModelHarness h;
    h.backend->sourceRunning = true;
    start(h);
    h.backend->sourceRunning = std::nullopt;
    stall(h);
    h.advance(1.1);
    EXPECT_EQ(h.model->stallRestarts(), 0);
    EXPECT_NE(h.status(), "Audio stopped flowing; reconnecting (1 of 3).");
    h.backend->sourceRunning = true;
    h.advance(0.3);
    EXPECT_EQ(h.status(), "Audio stopped flowing; reconnecting (1 of 3).");
}

TEST(SystemModel, NothingArrivingWhileNobodyCanSayWhetherASourceRunsIsNoRetry)
{
    ModelHarness h;
    h.backend->sourceRunning = std::nullopt;
    start(h);
    h.advance(3);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_FALSE(h.model->isRestartPending());
}

TEST(SystemModel, AStallMoreThanFiveMinutesAfterTheOthersCountsFromOneAgain)
{
    ModelHarness h;
    h.backend->sourceRunning = true;
    start(h);
    for (int restart = 1; restart <= 3; ++restart) {
        stall(h);
        h.advance(1.1);
        ASSERT_TRUE(h.model->isActive());
    }
    // Silence for five minutes: waiting, no restart.
    h.backend->sourceRunning = false;
    h.cycle();
    h.advance(0.3);
    h.clock->advance(300);
    h.settle();
    EXPECT_TRUE(h.model->isActive());
    EXPECT_TRUE(h.model->waitingForAudio());
    h.backend->setSourceRunning(true);
    stall(h);
    EXPECT_EQ(h.status(), "Audio stopped flowing; reconnecting (1 of 3).");
}

TEST(SystemModel, FlowStoppingBecauseEveryAppStoppedWaitsWithRestingMeters)
{
    ModelHarness h;
    h.backend->sourceRunning = false;
    start(h);
    for (int i = 0; i < 5; ++i) {
        h.cycle(0.5f);
        h.advance(0.2);
    }
    EXPECT_GT(h.model->meters().inputDB, -10);
    h.advance(3.3);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_TRUE(h.model->waitingForAudio());
    EXPECT_EQ(h.status(), ready);
    EXPECT_EQ(h.model->meters().inputDB, -120);
    EXPECT_EQ(h.model->meters().outputDB, -120);
    EXPECT_EQ(h.model->meters().limiterDB, 0);
    EXPECT_FALSE(h.model->isRestartPending());
    // Asked again every 3 s: still no restart while nothing plays.
    h.advance(10);
    EXPECT_FALSE(h.model->isRestartPending());
    EXPECT_TRUE(h.model->isActive());
}

namespace {

// Sound for a moment, then nothing plays: waiting, the meters at rest, the refresh resting.
void playThenRest(ModelHarness& h)
{
    start(h);
    for (int i = 0; i < 3; ++i) {
        h.cycle(0.5f);
        h.advance(0.2);
    }
    h.advance(3.3);
    ASSERT_TRUE(h.model->waitingForAudio());
    h.advance(0.4);
}

}  // namespace

// With processing on and nothing playing, nothing is left to do on time: the refresh stops
// (no readings, no device list) until the first cycle of the next sound, which it then
// processes and meters at once.
TEST(SystemModel, NothingPlayingRestsTheRefreshUntilTheFirstCycleWakesIt)
{
    ModelHarness h;
    playThenRest(h);
    EXPECT_TRUE(h.model->isResting());
    EXPECT_EQ(h.status(), ready);
    EXPECT_EQ(h.model->meters().inputDB, -120);
    EXPECT_EQ(h.model->meters().outputDB, -120);
    const int reads = h.deviceReads;
    h.advance(10);
    EXPECT_EQ(h.deviceReads, reads);
    EXPECT_TRUE(h.model->isResting());

    h.cycle(0.5f);
    h.settle();
    EXPECT_FALSE(h.model->isResting());
    h.advance(0.2);
    EXPECT_EQ(h.status(), processing);
    EXPECT_GT(h.model->meters().inputDB, -10);
    // Rests again once the sound is over.
    h.advance(3.8);
    EXPECT_TRUE(h.model->isResting());
    EXPECT_EQ(h.status(), ready);
}

// An app that starts playing while the refresh rests wakes the watchdog: when no cycle follows,
// that is a stall, counted 3 s after the app began, as while awake.
TEST(SystemModel, AnAppStartingToPlayWhileRestingIsWatchedAndItsStallCounts)
{
    ModelHarness h;
    playThenRest(h);
    ASSERT_TRUE(h.model->isResting());
    h.advance(20);
    h.backend->setSourceRunning(true);
    h.settle();
    EXPECT_FALSE(h.model->isResting());
    h.advance(2.8);
    EXPECT_EQ(h.model->stallRestarts(), 0);
    h.advance(0.4);
    EXPECT_EQ(h.status(), "Audio stopped flowing; reconnecting (1 of 3).");
    // The reconnection ends with the app still playing and nothing arriving: no rest.
    h.advance(1.1);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_FALSE(h.model->isResting());
}

// The silent start rests only after the primer's second kick; switching off ends the rest and
// the device list is read every two seconds again.
TEST(SystemModel, TheSilentStartRestsAfterTheKicksAndSwitchingOffEndsTheRest)
{
    ModelHarness h;
    start(h);
    h.advance(3.5);
    EXPECT_TRUE(h.model->waitingForAudio());
    EXPECT_FALSE(h.model->isResting());
    h.advance(1.1);
    EXPECT_EQ(h.model->primeKicks(), 2);
    EXPECT_TRUE(h.model->isResting());
    h.model->setActive(false);
    h.settle();
    EXPECT_FALSE(h.model->isResting());
    const int reads = h.deviceReads;
    h.advance(2.1);
    EXPECT_EQ(h.deviceReads, reads + 1);
}

// A sound system that never tells when apps start playing leaves nothing to wake the refresh:
// it keeps asking.
TEST(SystemModel, WithoutNewsOfAppsPlayingTheRefreshNeverRests)
{
    ModelHarness h;
    h.backend->tellsSourceChanges = false;
    playThenRest(h);
    EXPECT_TRUE(h.model->waitingForAudio());
    EXPECT_FALSE(h.model->isResting());
    const int reads = h.deviceReads;
    h.advance(4.1);
    EXPECT_EQ(h.deviceReads, reads + 2);
    h.backend->sourceRunning = true;
    h.advance(3.3);
    EXPECT_EQ(h.model->stallRestarts(), 1);
}

TEST(SystemModel, MetersFallAtMostThreeDecibelsARefreshAndRiseAtOnce)
{
    ModelHarness h;
    start(h);
    h.cycle(1.0f);
    h.advance(0.2);
    const float loud = h.model->meters().inputDB;
    EXPECT_NEAR(loud, 0, 0.5);
    EXPECT_GT(h.model->meters().outputDB, -20);
}

TEST(SystemModel, SleepPausesAndWakeResumesKeepingTheStoredChoice)
{
    ModelHarness h;
    start(h);
    QSignalSpy ready(h.model.get(), &SystemModel::readyToSleep);
    h.backend->holdDefaultChanges = true;
    h.model->willSleep();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Paused while the system is asleep.");
    // Sleep may go on only once the default output is back.
    QCoreApplication::processEvents();
    EXPECT_EQ(ready.count(), 0);
    h.backend->release();
    ASSERT_TRUE(quorel::test::waitUntil([&] { return ready.count() == 1; }));
    EXPECT_EQ(h.backend->serverDefault, "speakers");
    EXPECT_EQ(h.storedActive(), true);
    h.model->didWake();
    EXPECT_EQ(h.status(), "Resuming after sleep.");
    h.advance(0.7);
    EXPECT_FALSE(h.model->isActive());
    h.advance(0.2);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), processing);
}

TEST(SystemModel, SwitchingOffDuringSleepIsNotUndoneByTheWake)
{
    ModelHarness h;
    start(h);
    h.model->willSleep();
    h.settle();
    h.model->setActive(false);
    h.model->didWake();
    h.advance(2);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
    EXPECT_EQ(h.storedActive(), false);
}

TEST(SystemModel, SleepWhileOffChangesNothingButLetsSleepGoOn)
{
    ModelHarness h;
    QSignalSpy ready(h.model.get(), &SystemModel::readyToSleep);
    h.model->willSleep();
    ASSERT_TRUE(quorel::test::waitUntil([&] { return ready.count() == 1; }));
    h.model->didWake();
    h.advance(2);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
    EXPECT_TRUE(h.backend->log().isEmpty());
}

TEST(SystemModel, ShutdownStopsGivesTheDefaultBackAndKeepsTheChoice)
{
    ModelHarness h;
    start(h);
    h.model->shutdown();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_FALSE(h.engine->isRunning());
    EXPECT_EQ(h.backend->serverDefault, "speakers");
    EXPECT_EQ(h.storedActive(), true);
    // Nothing starts again after quitting.
    h.model->outputChanged();
    h.model->setActive(true);
    h.advance(2);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.storedActive(), true);
}

TEST(SystemModel, ShutdownWaitsWithTheMainLoopRunning)
{
    ModelHarness h;
    start(h);
    h.backend->holdDefaultChanges = true;
    bool ranMeanwhile = false;
    QTimer::singleShot(0, [&] {
        ranMeanwhile = true;
        h.backend->release();
    });
    h.model->shutdown();
    EXPECT_TRUE(ranMeanwhile);
    EXPECT_EQ(h.backend->serverDefault, "speakers");
    EXPECT_EQ(h.storedActive(), true);
}

TEST(SystemModel, ChoosingAnOutputWhileOffOnlyStoresIt)
{
    ModelHarness h;
    QSignalSpy statuses(h.model.get(), &SystemModel::statusChanged);
    h.model->setOutputDevice(QString("headphones"));
    EXPECT_EQ(h.model->outputDeviceUID(), "headphones");
    EXPECT_EQ(UserDefaults::standard().string(SystemModel::outputDeviceKey), "headphones");
    EXPECT_EQ(statuses.count(), 0);
    h.model->setOutputDevice(std::nullopt);
    EXPECT_FALSE(UserDefaults::standard().contains(SystemModel::outputDeviceKey));
    EXPECT_FALSE(h.model->outputDeviceUID());
}

TEST(SystemModel, ChoosingAnOutputWhileActiveReconnectsOnIt)
{
    ModelHarness h;
    h.backend->devices[11] = {"headphones", QString("Headphones"), 2};
    start(h);
    h.model->setOutputDevice(QString("headphones"));
    EXPECT_EQ(h.status(), QString::fromUtf8("Switching output…"));
    EXPECT_FALSE(h.model->isActive());
    h.advance(0.4);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), "Processing system audio on Headphones.");
    EXPECT_TRUE(h.backend->logContains("createAggregate headphones"));
}

TEST(SystemModel, ADefaultOutputChangeReconnectsAfterADelay)
{
    ModelHarness h;
    start(h);
    h.backend->fire(AudioBackend::Event::defaultOutput);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.status(), "The output changed; reconnecting.");
    h.advance(0.7);
    EXPECT_FALSE(h.model->isActive());
    h.advance(0.2);
    EXPECT_TRUE(h.model->isActive());
    // A restart (as after an unplugged output) plays no priming sound, also not while it waits.
    const int played = h.primer->kicks();
    h.advance(6);
    EXPECT_EQ(h.primer->kicks(), played);
    // Switching on again is a start of its own: it primes.
    h.model->setActive(false);
    h.settle();
    h.model->setActive(true);
    h.settle();
    EXPECT_EQ(h.primer->kicks(), played + 1);
}

TEST(SystemModel, ARestartIsNotScheduledWhileOffAndAPendingOneIsCancelled)
{
    ModelHarness h;
    h.model->outputChanged();
    EXPECT_EQ(h.status(), off);
    EXPECT_FALSE(h.model->isRestartPending());
    start(h);
    h.model->outputChanged();
    EXPECT_TRUE(h.model->isRestartPending());
    h.model->setActive(false);
    EXPECT_FALSE(h.model->isRestartPending());
    h.advance(2);
    EXPECT_FALSE(h.model->isActive());
}

TEST(SystemModel, TheDeviceListIsReadEveryTwoSecondsAlsoWhileOff)
{
    ModelHarness h;
    const int first = h.deviceReads;
    EXPECT_EQ(first, 1);
    h.clock->advance(1.9);
    EXPECT_EQ(h.deviceReads, 1);
    h.clock->advance(0.2);
    EXPECT_EQ(h.deviceReads, 2);
    h.clock->advance(2.0);
    EXPECT_EQ(h.deviceReads, 3);
}

TEST(SystemModel, ThePreviewShowsDemonstrationValuesAndNeverTouchesTheEngine)
{
    ModelHarness h([](SystemModel::Options& o) { o.preview = true; });
    h.model->setActive(true);
    h.model->configure(DSPSettings(), false);
    h.advance(3);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.model->meters(), (SystemModel::Meters{-18, -6, -1.8f, -17, 3.2f, true, 0.9f}));
    EXPECT_EQ(h.status(), "Design preview: demonstration values, no audio is processed.");
    EXPECT_EQ(h.storedActive(), true);
    EXPECT_TRUE(h.backend->log().isEmpty());
    h.model->setActive(false);
    EXPECT_EQ(h.model->meters(), SystemModel::Meters());
    EXPECT_EQ(h.storedActive(), false);
}

TEST(SystemModel, TheCommandLineFlagsAreWholeArguments)
{
    EXPECT_TRUE(SystemModel::optionsFromArguments({"quorel", "--preview"}).preview);
    EXPECT_TRUE(SystemModel::optionsFromArguments({"quorel", "--no-prime"}).noPrime);
    EXPECT_FALSE(SystemModel::optionsFromArguments({"quorel", "--preview=1", "--no-prime2"}).preview);
    EXPECT_FALSE(SystemModel::optionsFromArguments({"quorel", "--Preview"}).preview);
}

TEST(SystemModel, TheErrorPortTakesATextAsItStands)
{
    ModelHarness h;
    h.model->setError(QString("Could not import the preset: broken"));
    EXPECT_EQ(h.model->error(), "Could not import the preset: broken");
    h.model->setError(std::nullopt);
    EXPECT_FALSE(h.model->error());
}

TEST(SystemModel, AFailedSettingsWriteIsReported)
{
    quorel::test::TemporaryHome home;
    QDir(home.path()).mkpath("store.conf");  // a folder where the file should be
    ModelHarness h([&](SystemModel::Options& o) { o.store = UserDefaults(home.path() + "/store.conf"); });
    h.model->setActive(false);
    ASSERT_TRUE(h.model->error());
    EXPECT_EQ(*h.model->error(), "Could not save the settings file " + home.path() + "/store.conf.");
}

TEST(SystemModel, AChoiceThatCouldNotBeStoredStaysReportedAfterTheStartSucceeds)
{
    quorel::test::TemporaryHome home;
    QDir(home.path()).mkpath("store.conf");  // a folder where the file should be
    const QString failure = "Could not save the settings file " + home.path() + "/store.conf.";
    ModelHarness h([&](SystemModel::Options& o) { o.store = UserDefaults(home.path() + "/store.conf"); });
    start(h);
    ASSERT_TRUE(h.model->error());
    EXPECT_EQ(*h.model->error(), failure);  // processing runs, but the next start will not resume it

    ModelHarness preview([&](SystemModel::Options& o) {
        o.preview = true;
        o.store = UserDefaults(home.path() + "/store.conf");
    });
    preview.model->setActive(true);
    ASSERT_TRUE(preview.model->error());
    EXPECT_EQ(*preview.model->error(), failure);
}

TEST(SystemModel, TheSoundServerRestartWaitsForTheTeardownThenStartsAndStoresOn)
{
    std::vector<SystemModel::RestartDone> calls;
    ModelHarness h([&](SystemModel::Options& o) {
        o.restartAudioService = [&](SystemModel::RestartDone done) { calls.push_back(std::move(done)); };
    });
    start(h);
    h.model->setError(QString("old trouble"));
    h.backend->holdDefaultChanges = true;
    h.model->restartAudioService();
    EXPECT_TRUE(h.model->restartingAudioService());
    EXPECT_EQ(h.status(), QString::fromUtf8("Restarting the sound server (PipeWire)…"));
    h.model->restartAudioService();  // one at a time
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.empty());  // the default is not back yet
    h.backend->release();
    ASSERT_TRUE(quorel::test::waitUntil([&] { return !calls.empty(); }));
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(h.backend->serverDefault, "speakers");
    UserDefaults::standard().setBoolean(SystemModel::activeKey, false);
    calls.front()(std::nullopt);
    h.advance(2.9);
    EXPECT_TRUE(h.model->restartingAudioService());
    EXPECT_FALSE(h.model->isActive());
    h.advance(0.2);
    EXPECT_FALSE(h.model->restartingAudioService());
    EXPECT_TRUE(h.model->isActive());
    EXPECT_FALSE(h.model->errorMessage());
    EXPECT_EQ(h.storedActive(), true);
}

TEST(SystemModel, AFailedSoundServerRestartSaysWhyAndStaysOff)
{
    ModelHarness h([](SystemModel::Options& o) {
        o.restartAudioService = [](SystemModel::RestartDone done) { done(QString("Failed to connect to bus")); };
    });
    start(h);
    h.model->setError(QString("old trouble"));
    h.model->restartAudioService();
    h.settle();
    h.advance(3.1);
    EXPECT_FALSE(h.model->restartingAudioService());
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Audio service was not restarted (Failed to connect to bus).");
    EXPECT_EQ(h.model->error(), "old trouble");
}

TEST(SystemModel, OpeningTheSoundSettingsUsesTheDesktopsProgram)
{
    int opened = 0;
    ModelHarness h([&](SystemModel::Options& o) {
        o.openSoundSettings = [&] { return ++opened > 0; };
        o.canOpenSoundSettings.reset();
    });
    EXPECT_TRUE(h.model->canOpenSoundSettings());
    h.model->openPrivacySettings();
    EXPECT_EQ(opened, 1);
}

TEST(SystemModel, ProcessingEndingUnderTheEngineReconnectsLikeAStallAndThenGivesUp)
{
    ModelHarness h;
    start(h);
    for (int restart = 1; restart <= 3; ++restart) {
        h.backend->fault(AudioBackend::Fault::connectionLost);
        ASSERT_EQ(h.status(), QString("Audio stopped flowing; reconnecting (%1 of 3).").arg(restart));
        h.advance(1.1);
        ASSERT_TRUE(h.model->isActive());
    }
    h.backend->fault(AudioBackend::Fault::streamFailed);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Stopped because of an error.");
    EXPECT_EQ(h.model->error(), "The sound server stopped the audio stream.");
    EXPECT_TRUE(h.model->canRestartAudioService());
    EXPECT_EQ(h.storedActive(), true);
}

TEST(SystemModel, AnInputDropOfTwentyDecibelsShowsFullyAfterSevenRefreshes)
{
    ModelHarness h;
    start(h);
    h.cycle(1.0f);
    h.advance(0.2);
    ASSERT_NEAR(h.model->meters().inputDB, 0, 0.01);
    std::vector<float> shown;
    for (int i = 0; i < 8; ++i) {
        h.cycle(0.1f);  // -20 dBFS
        h.clock->advance(0.2);
        h.settle();
        shown.push_back(h.model->meters().inputDB);
    }
    EXPECT_NEAR(shown[0], -3, 0.01);
    EXPECT_NEAR(shown[5], -18, 0.01);
    EXPECT_NEAR(shown[6], -20, 0.01);
    EXPECT_NEAR(shown[7], -20, 0.01);
    // A rise shows in the next refresh.
    h.cycle(1.0f);
    h.clock->advance(0.2);
    h.settle();
    EXPECT_NEAR(h.model->meters().inputDB, 0, 0.01);
}

TEST(SystemModel, InvalidSamplesStopProcessingAtOnceKeepingTheCounters)
{
    auto readings = std::make_shared<test::ChainReadings>();
    readings->setMeter(MeterReading{-6, -6, -9, -2, 0, 0});
    ModelHarness h({}, test::FakeChain::factory(readings));
    start(h);
    h.cycle(0.5f);
    h.advance(0.2);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_NEAR(h.model->meters().limiterDB, -2, 1e-6);
    readings->setMeter(MeterReading{-6, -6, -9, -2, 0, 3});
    h.cycle(0.5f);
    h.clock->advance(0.2);
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Stopped because of an error.");
    EXPECT_EQ(h.model->error(), "Invalid samples were detected in system audio. Processing was stopped.");
    EXPECT_TRUE(h.model->canRestartAudioService());
    EXPECT_EQ(h.model->meters(), SystemModel::Meters());
    EXPECT_EQ(h.model->stats().callbacks, 2u);
    EXPECT_FALSE(h.model->isRestartPending());
}

TEST(SystemModel, AReconnectionWaitingAtSleepResumesAfterTheWakeNotDuringSleep)
{
    ModelHarness h;
    start(h);
    h.model->outputChanged();
    ASSERT_TRUE(h.model->isRestartPending());
    h.model->willSleep();
    EXPECT_FALSE(h.model->isRestartPending());
    EXPECT_EQ(h.status(), "Paused while the system is asleep.");
    h.advance(5);
    EXPECT_FALSE(h.model->isActive());
    h.model->didWake();
    h.advance(0.9);
    EXPECT_TRUE(h.model->isActive());
}

TEST(SystemModel, AStartUnderWayAtSleepResumesAfterTheWake)
{
    ModelHarness h;
    h.backend->holdCapture = true;
    h.model->setActive(true);
    ASSERT_TRUE(quorel::test::waitUntil([&] { return h.backend->waitingInCapture(); }));
    h.model->willSleep();
    h.backend->release();
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Paused while the system is asleep.");
    h.model->didWake();
    h.advance(0.9);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.storedActive(), true);
}

TEST(SystemModel, ShutdownGivesUpWaitingAfterThreeSeconds)
{
    ModelHarness h;
    start(h);
    h.backend->holdDefaultChanges = true;
    // Model time passes while shutdown waits: 2.9 s keep it waiting, 3 s end the wait.
    bool stillWaiting = false;
    QTimer::singleShot(0, [&] {
        h.clock->advance(2.9);
        QTimer::singleShot(0, [&] {
            stillWaiting = true;
            h.clock->advance(0.2);
        });
    });
    h.model->shutdown();
    EXPECT_TRUE(stillWaiting);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_TRUE(h.engine->isBusy());  // the server still holds the teardown
    EXPECT_EQ(h.storedActive(), true);
    h.backend->release();
    ASSERT_TRUE(h.engine->waitUntilIdle());
    EXPECT_EQ(h.backend->serverDefault, "speakers");
}

// The sound server restarting (killed and started again, as an update or "Restart audio service"
// does): each failed start counts as one more reconnection; a server that is back within them
// resumes processing, and one that takes longer ends in the repeated-stall error, after which
// processing resumes by itself once the server answers again, the stored choice still on.
TEST(SystemModel, AfterTheSoundServerRestartsProcessingComesBackByItself)
{
    bool serverUp = true;
    ModelHarness h([&](SystemModel::Options& o) {
        o.outputDevices = [&] {
            if (!serverUp) throw std::runtime_error("The sound server is not running.");
            return std::vector<AudioDevices::OutputDevice>{{10, "speakers", "Speakers", 2, true}};
        };
    });
    const auto serverGoes = [&] {
        serverUp = false;
        h.backend->defaultDevice = std::nullopt;
        h.backend->fault(AudioBackend::Fault::connectionLost);
    };
    const auto serverComes = [&] {
        serverUp = true;
        h.backend->defaultDevice = 10;
    };

    // Back within the reconnections.
    start(h);
    serverGoes();
    EXPECT_EQ(h.status(), "Audio stopped flowing; reconnecting (1 of 3).");
    h.advance(1.1);
    EXPECT_EQ(h.status(), "Audio stopped flowing; reconnecting (2 of 3).");
    EXPECT_FALSE(h.model->error());
    serverComes();
    h.advance(1.1);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), processing);
    EXPECT_FALSE(h.model->error());

    // Away for longer: the error says what happened, then the server answers again.
    h.model->setActive(true);
    h.settle();
    serverGoes();
    h.advance(3.5);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Stopped because of an error.");
    EXPECT_EQ(h.model->error(),
              QString::fromUtf8("System audio repeatedly stopped flowing. Use “Restart audio service” "
                                "to resume processing automatically."));
    EXPECT_TRUE(h.model->canRestartAudioService());
    h.advance(30);
    EXPECT_FALSE(h.model->isActive());
    serverComes();
    h.advance(2.1);  // the device list is read every 2 s
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), processing);
    EXPECT_FALSE(h.model->error());
    EXPECT_EQ(h.storedActive(), true);

    // Switched off meanwhile: the server coming back does not switch it on.
    serverGoes();
    h.advance(3.5);
    ASSERT_EQ(h.status(), "Stopped because of an error.");
    h.model->setActive(false);
    serverComes();
    h.advance(4);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
}

// Started before the sound server (the session runs Quorel before PipeWire is up): the choice
// stays on, the status says that processing waits for the server, and processing starts once
// the server answers. Switched off meanwhile, it does not.
TEST(SystemModel, AStartBeforeTheSoundServerWaitsForItAndStartsOnceItAnswers)
{
    const QString waiting = "Waiting for the sound server (PipeWire); processing starts once it answers.";
    ModelHarness h;
    h.backend->serverRunning = false;
    h.model->setActive(true);
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), waiting);
    EXPECT_FALSE(h.model->error());
    EXPECT_EQ(h.storedActive(), true);
    h.advance(15);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), waiting);

    h.backend->serverRunning = true;
    h.advance(2.1);  // the device list is read every 2 s
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), processing);
    EXPECT_FALSE(h.model->error());
    EXPECT_EQ(h.storedActive(), true);
    EXPECT_EQ(h.backend->serverDefault, h.backend->tapUID());

    // Switched off while waiting: the server answering does not switch it on.
    h.model->setActive(false);
    h.settle();
    h.backend->serverRunning = false;
    h.model->setActive(true);
    h.settle();
    ASSERT_EQ(h.status(), waiting);
    h.model->setActive(false);
    h.backend->serverRunning = true;
    h.advance(4);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), off);
}

// A start that fails while the sound server answers shows the failure and waits for nothing.
TEST(SystemModel, AStartFailureWithTheSoundServerUpDoesNotWaitForIt)
{
    ModelHarness h;
    h.backend->defaultDevice = std::nullopt;
    h.model->setActive(true);
    h.settle();
    EXPECT_EQ(h.status(), "Could not enable processing.");
    EXPECT_EQ(h.model->error(), "No default audio output.");
    h.backend->defaultDevice = 10;
    h.advance(4);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), "Could not enable processing.");
}

// The only speaker goes while processing runs (a headset unplugged on a machine without another
// card): processing waits without making a sink, the status says why, nothing is counted, and
// processing starts again on the next device, the stored choice still on.
TEST(SystemModel, WithNoOutputDeviceProcessingWaitsQuietlyAndStartsOnTheNextDevice)
{
    const QString waiting = "Waiting for an output device; processing starts once one is there.";
    ModelHarness h;
    start(h);
    const auto taps = [&] { return h.backend->log().filter(QRegularExpression("^createTap")).size(); };
    const qsizetype made = taps();

    h.devices.clear();
    h.backend->devices.clear();
    h.backend->defaultDevice = std::nullopt;
    h.backend->fire(AudioBackend::Event::deviceList);
    h.settle();
    h.advance(1);  // the restart that was due finds no device
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), waiting);
    EXPECT_FALSE(h.model->error());
    h.advance(60);
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), waiting);
    EXPECT_FALSE(h.model->error());
    EXPECT_FALSE(h.model->canRestartAudioService());
    EXPECT_EQ(taps(), made);
    EXPECT_EQ(h.model->stallRestarts(), 0);
    EXPECT_EQ(h.storedActive(), true);

    h.devices = {{11, "headset", "Headset", 2, true}};
    h.backend->devices = {{11, {"headset", QString("Headset"), 2}}};
    h.backend->defaultDevice = 11;
    h.advance(2.1);  // the device list is read every 2 s
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), "Processing system audio on Headset.");
    EXPECT_FALSE(h.model->error());
    EXPECT_EQ(taps(), made + 1);
    EXPECT_EQ(h.storedActive(), true);

    // The list reads empty for a moment as the default changes (a session manager that restarts
    // sets the device up again): the device is back before the restart, which starts on it.
    h.devices.clear();
    h.backend->devices.clear();
    h.backend->defaultDevice = std::nullopt;
    h.backend->fire(AudioBackend::Event::deviceList);
    h.settle();
    h.devices = {{11, "headset", "Headset", 2, true}};
    h.backend->devices = {{11, {"headset", QString("Headset"), 2}}};
    h.backend->defaultDevice = 11;
    h.advance(1);
    EXPECT_TRUE(h.model->isActive());
    EXPECT_EQ(h.status(), "Processing system audio on Headset.");
    EXPECT_EQ(taps(), made + 2);

    // Switched on with no device at all: it waits the same way.
    h.model->setActive(false);
    h.settle();
    h.devices.clear();
    h.backend->devices.clear();
    h.backend->defaultDevice = std::nullopt;
    h.model->setActive(true);
    h.settle();
    EXPECT_FALSE(h.model->isActive());
    EXPECT_EQ(h.status(), waiting);
    EXPECT_FALSE(h.model->error());
    EXPECT_EQ(taps(), made + 2);
}
