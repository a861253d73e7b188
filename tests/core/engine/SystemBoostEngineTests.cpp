#include "FakeAudioDevices.h"
#include "FakeChain.h"
#include "GraphChain.h"
#include "SimulatedAudioBackend.h"
#include "SystemBoostEngine.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace quorel;
using quorel::test::ChainProbe;
using quorel::test::ChainReadings;
using quorel::test::FakeAudioDevices;
using quorel::test::FakeChain;
using quorel::test::SimulatedAudioBackend;
using quorel::test::waitUntil;
using Event = AudioBackend::Event;

namespace {

class EngineTest : public testing::Test {
protected:
    EngineTest()
        : backend(std::make_shared<SimulatedAudioBackend>()), devices(std::make_shared<FakeAudioDevices>()),
          engine(backend, devices, FakeChain::factory(readings))
    {
        probe.latency = 0.005;
    }

    // stop() returns at once; the checks below look at what its teardown did.
    void stopAndWait()
    {
        engine.stop();
        ASSERT_TRUE(engine.waitUntilIdle());
    }

    SystemBoostEngine::Info start(std::optional<QString> uid = std::nullopt)
    {
        return engine.startAndWait(settings, processed, uid);
    }

    // The description of what the start failed with; empty when it succeeded.
    QString startFailure(std::optional<QString> uid = std::nullopt)
    {
        try {
            start(uid);
        } catch (const DescribedError& e) {
            return e.description();
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

    quorel::test::TemporaryHome home;
    std::shared_ptr<ChainReadings> readings = std::make_shared<ChainReadings>();
    ChainProbe& probe = readings->probe;
    std::shared_ptr<SimulatedAudioBackend> backend;
    std::shared_ptr<FakeAudioDevices> devices;
    SystemBoostEngine engine;
    DSPSettings settings;
    bool processed = true;
};

}  // namespace

TEST(SystemBoostEngineRules, TheBufferRequestFollowsTheAllowedRange)
{
    EXPECT_EQ(SystemBoostEngine::requestedBufferFrames(64, 256), 256u);
    EXPECT_EQ(SystemBoostEngine::requestedBufferFrames(1024, 8192), 1024u);
    EXPECT_EQ(SystemBoostEngine::requestedBufferFrames(128, 8192), 512u);
    EXPECT_EQ(SystemBoostEngine::requestedBufferFrames(16, 2048), 512u);
}

TEST_F(EngineTest, IdleEngineReadsNothing)
{
    const auto s = engine.stats();
    EXPECT_EQ(s.callbacks, 0u);
    EXPECT_EQ(s.inputPeakDB(), -120);
    EXPECT_EQ(s.outputPeakDB(), -120);
    EXPECT_FALSE(engine.meter());
    EXPECT_FALSE(engine.spectrum());
    EXPECT_FALSE(engine.isSourceRunningSomewhere());
    EXPECT_FALSE(engine.isRunning());
}

TEST_F(EngineTest, StartRunsTheCaptureInOrderAndDescribesIt)
{
    backend->latency = 480;
    const auto info = start();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(info.deviceName, "Speakers");
    EXPECT_FALSE(info.capturedDeviceName);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.bufferFrames, 512u);
    EXPECT_DOUBLE_EQ(info.reportedDeviceLatencyMS, 10);
    EXPECT_DOUBLE_EQ(info.effectsLatencyMS, 5);
    EXPECT_EQ(backend->requestedFrames(), 512u);
    EXPECT_TRUE(backend->tapUID().startsWith("local.quorel.aggregate."));
    const QString uuid = backend->tapUID().mid(int(qstrlen("local.quorel.aggregate.")));
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
    const QStringList log = backend->log();
    ASSERT_GE(log.size(), 5);
    EXPECT_TRUE(log[0].startsWith("createTap local.quorel.aggregate."));
    EXPECT_EQ(log[1], "createAggregate speakers");
    EXPECT_EQ(log[2], "createIOProc");
    EXPECT_EQ(log[3], "startIO");
    EXPECT_EQ(log[4], "setDefault " + backend->tapUID());
    EXPECT_EQ(backend->listenerCount(), 3);  // the default output, the devices, the server's default
}

TEST_F(EngineTest, EveryStartNamesOurSinkTheSameUnlessThatNameIsTaken)
{
    // The session manager remembers defaults by name: one name for every start of this user.
    start();
    const QString first = backend->tapUID();
    stopAndWait();
    start();
    EXPECT_EQ(backend->tapUID(), first);
    EXPECT_TRUE(first.startsWith("local.quorel.aggregate."));
    stopAndWait();
    // Another process of ours holds the name: this one takes a name of its own and runs.
    backend->takenNames.insert(first);
    start();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(backend->tapUID().startsWith("local.quorel.aggregate."));
    EXPECT_NE(backend->tapUID(), first);
    EXPECT_EQ(backend->serverDefault, backend->tapUID());
}

TEST_F(EngineTest, StopTearsDownInOrderAndGivesTheDefaultBack)
{
    start();
    const QString ours = backend->tapUID();
    stopAndWait();
    const QStringList log = backend->log();
    const qsizetype stopAt = log.indexOf("setDefault speakers");
    ASSERT_GE(stopAt, 0);
    // The default goes back while our sink still plays, then the capture comes down.
    EXPECT_EQ(log.mid(stopAt),
              (QStringList{"setDefault speakers", "stopIO", "destroyIOProc", "destroyAggregate", "destroyTap"}));
    EXPECT_EQ(backend->serverDefault, "speakers");
    EXPECT_TRUE(probe.stopped);
    EXPECT_EQ(backend->listenerCount(), 0);
    EXPECT_FALSE(engine.info());
    // A second stop finds nothing to destroy.
    const auto before = backend->log().size();
    stopAndWait();
    EXPECT_EQ(backend->log().size(), before);
    EXPECT_NE(ours, "");
}

TEST_F(EngineTest, AStartWhoseDefaultIsRefusedFailsAndCleansUp)
{
    backend->refuseDefaultChanges = 1;
    EXPECT_ANY_THROW(engine.startAndWait(settings, true, std::nullopt));
    EXPECT_FALSE(engine.isRunning());
    EXPECT_TRUE(backend->logContains("destroyTap"));
    EXPECT_EQ(backend->serverDefault, "speakers");
}

TEST_F(EngineTest, ADefaultKeptOnOurSinkIsNamedAgainOnceTheSinkIsGone)
{
    start();
    backend->refuseDefaultChanges = 1;
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "speakers");
    const QStringList log = backend->log();
    EXPECT_EQ(log.last(), "setDefault speakers");
}

TEST_F(EngineTest, ADefaultTheUserChoseMeanwhileIsKept)
{
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    start();
    backend->serverDefault = "headphones";
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "headphones");
    EXPECT_FALSE(backend->logContains("setDefault speakers"));
}

TEST_F(EngineTest, TheReplacedDefaultIsRememberedAndAStaleOneRepaired)
{
    start();
    EXPECT_EQ(devices->previousDefault(), "speakers");
    stopAndWait();

    // A crashed run left the default on its own vanished sink; the remembered one comes back.
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    backend->defaultDevice = 11;  // what the server fell back to
    backend->serverDefault = "local.quorel.aggregate.0000-DEAD";
    start();
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "speakers");
}

TEST_F(EngineTest, AStaleDefaultWithNothingRememberedGoesToTheRealDefault)
{
    backend->serverDefault = "local.corvanta.aggregate.OLD";
    start();
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "speakers");
}

TEST_F(EngineTest, TheDevicesSayWhichSinksAreOurs)
{
    devices->ownPrefixes.insert("mirror");
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    backend->devices[12] = {"mirror", QString("Mirror"), 2};
    // Chosen as the output, a sink of ours is never played to.
    const auto info = start(QString("mirror"));
    EXPECT_EQ(info.deviceName, "Speakers");
    EXPECT_FALSE(backend->logContains("createAggregate mirror"));
    stopAndWait();

    // Left as the server's default by a run that crashed, it is neither remembered nor given back.
    devices->setPreviousDefault("headphones");
    backend->serverDefault = "mirror";
    start();
    EXPECT_EQ(devices->previousDefault(), "headphones");
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "headphones");
}

TEST_F(EngineTest, ARememberedDefaultThatIsOursOrGoneIsNotGivenBack)
{
    backend->devices[13] = {"local.quorel.aggregate.OLD", QString("Quorel"), 2};
    for (const QString remembered : {"local.quorel.aggregate.OLD", "headphones"}) {
        devices->setPreviousDefault(remembered);
        backend->serverDefault = "local.quorel.aggregate.0000-DEAD";
        start();
        EXPECT_EQ(devices->previousDefault(), "speakers") << remembered.toStdString();
        stopAndWait();
        EXPECT_EQ(backend->serverDefault, "speakers") << remembered.toStdString();
    }
}

TEST_F(EngineTest, WithoutAServerDefaultTheRememberedOneIsGivenBack)
{
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    devices->setPreviousDefault("headphones");
    backend->serverDefault = "";
    start();
    EXPECT_EQ(devices->previousDefault(), "headphones");
    stopAndWait();
    EXPECT_EQ(backend->serverDefault, "headphones");
}

TEST_F(EngineTest, AChosenOutputIsUsedAndTheDefaultNamedAsCaptured)
{
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    const auto info = start(QString("headphones"));
    EXPECT_EQ(info.deviceName, "Headphones");
    EXPECT_EQ(info.capturedDeviceName, "Speakers");
    EXPECT_TRUE(backend->logContains("createAggregate headphones"));
}

TEST_F(EngineTest, TheDefaultsOwnUIDMeansNoSeparateCapturedDevice)
{
    const auto info = start(QString("speakers"));
    EXPECT_FALSE(info.capturedDeviceName);
}

TEST_F(EngineTest, AMissingOrInputOnlyOrOwnDeviceFallsBackToTheDefault)
{
    backend->devices[12] = {"microphone", QString("Microphone"), 0};
    backend->devices[13] = {"local.quorel.aggregate.X", QString("Quorel"), 2};
    for (const QString uid : {"gone", "microphone", "local.quorel.aggregate.X"}) {
        const auto info = start(uid);
        EXPECT_EQ(info.deviceName, "Speakers") << uid.toStdString();
        EXPECT_FALSE(info.capturedDeviceName);
        stopAndWait();
    }
    EXPECT_FALSE(backend->logContains("createAggregate microphone"));
}

TEST_F(EngineTest, NoDefaultOutputFailsEvenWithAValidUIDAndCreatesNothing)
{
    backend->devices[11] = {"headphones", QString("Headphones"), 2};
    backend->defaultDevice.reset();
    EXPECT_EQ(startFailure(QString("headphones")), "No default audio output.");
    EXPECT_TRUE(backend->log().isEmpty());
}

TEST_F(EngineTest, AnUnreadableNameIsAudioOutput)
{
    backend->devices[10].name.reset();
    EXPECT_EQ(start().deviceName, "Audio output");
}

TEST_F(EngineTest, ARefusedCaptureIsAPermissionFailureNamingTheStatus)
{
    backend->tapStatus = status::illegalOperation;
    try {
        start();
        FAIL() << "the start succeeded";
    } catch (const SystemBoostEngine::Failure& failure) {
        EXPECT_EQ(failure.kind(), SystemBoostEngine::Failure::Kind::permission);
        EXPECT_TRUE(failure.description().contains("'nope'")) << failure.description().toStdString();
    }
    EXPECT_FALSE(backend->logContains("createAggregate"));
}

TEST_F(EngineTest, TapFailuresNameTheirStatus)
{
    backend->tapID = 0;
    EXPECT_EQ(startFailure(), "Could not create system audio capture (0).");
    backend->tapID = 100;
    backend->tapStatus = -111;
    EXPECT_EQ(startFailure(), "Could not create system audio capture (-111 (Connection refused)).");
}

TEST_F(EngineTest, AThreeChannelTapFailsBeforeAnyAggregate)
{
    backend->tapChannelCount = 3;
    EXPECT_EQ(startFailure(), "Capture delivered 3 channels; expected mono or stereo.");
    EXPECT_EQ(backend->log().mid(1), QStringList{"destroyTap"});
}

TEST_F(EngineTest, AFailedAggregateDestroysTheTap)
{
    backend->aggregateStatus = -2;
    EXPECT_EQ(startFailure(), "Could not create the aggregate device (-2 (No such file or directory)).");
    EXPECT_EQ(backend->log().last(), "destroyTap");
    EXPECT_FALSE(backend->logContains("destroyAggregate"));
}

TEST_F(EngineTest, SampleRatesAtTheLimitsPassAndBeyondThemFailAfterCleanUp)
{
    for (const double rate : {8000.0, 192000.0, 44100.0}) {
        backend->clockValue.sampleRate = rate;
        EXPECT_EQ(startFailure(), "") << rate;
        stopAndWait();
    }
    backend->clockValue.sampleRate = 7999;
    EXPECT_EQ(startFailure(), "Unexpected sample rate: 7999.0 Hz.");
    EXPECT_EQ(backend->log().mid(backend->log().size() - 2), (QStringList{"destroyAggregate", "destroyTap"}));
    backend->clockValue.sampleRate = 192001;
    EXPECT_EQ(startFailure(), "Unexpected sample rate: 192001.0 Hz.");
    backend->clockValue.sampleRate = 44100.5;
    EXPECT_EQ(startFailure(), "");
}

TEST_F(EngineTest, BufferSizesOutsideTheLimitFail)
{
    backend->bufferFramesValue = 8192;
    EXPECT_EQ(startFailure(), "Unexpected buffer size: 8192 frames.");
    backend->bufferFramesValue = 0;
    EXPECT_EQ(startFailure(), "Unexpected buffer size: 0 frames.");
    EXPECT_EQ(backend->log().last(), "destroyTap");
}

TEST_F(EngineTest, MissingChannelsFail)
{
    backend->outputChannelCount = 0;
    EXPECT_EQ(startFailure(), "The aggregate device did not expose input and output (2/0).");
}

TEST_F(EngineTest, UnknownLatencyCountsAsZero)
{
    backend->latency.reset();
    EXPECT_EQ(start().reportedDeviceLatencyMS, 0);
}

TEST_F(EngineTest, SourceChannelsFollowTheCapture)
{
    backend->inputChannelCount = 6;
    start();
    EXPECT_EQ(probe.channels, 2u);
    stopAndWait();
    backend->inputChannelCount = 1;
    start();
    EXPECT_EQ(probe.channels, 1u);
    // A mono capture renders through the stereo graph without render errors.
    backend->runCycle(256, 0.25f);
    EXPECT_EQ(engine.stats().renderErrors, 0u);
}

TEST_F(EngineTest, ABSwitchSetsThePathGains)
{
    settings.comparisonTrimDB = -6;
    start();
    EXPECT_EQ(probe.dry, 0);
    EXPECT_NEAR(probe.wet, 0.501, 1e-3);
    engine.setProcessed(false);
    EXPECT_EQ(probe.dry, 1);
    EXPECT_EQ(probe.wet, 0);
}

TEST_F(EngineTest, SettingsAndTheSwitchWhileIdleAreUsedByTheNextStart)
{
    DSPSettings s;
    s.boostDB = 4;
    engine.apply(s);
    engine.setProcessed(false);
    EXPECT_EQ(probe.applies, 0);
    engine.startAndWait(engine.settings(), engine.processed(), std::nullopt);
    EXPECT_EQ(probe.lastBoost, 4);
    EXPECT_EQ(probe.dry, 1);
}

TEST_F(EngineTest, AFailedApplyWhileRunningKeepsRunningWithTheSettingsStored)
{
    start();
    probe.failApply = true;
    DSPSettings s;
    s.boostDB = 3;
    EXPECT_THROW(engine.apply(s), std::runtime_error);
    EXPECT_TRUE(engine.isRunning());
    EXPECT_EQ(engine.settings().boostDB, 3);
}

TEST_F(EngineTest, AFailingGraphTearsEverythingDown)
{
    probe.failPrepare = true;
    EXPECT_EQ(startFailure(), "prepare failed");
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(backend->log().mid(backend->log().size() - 2), (QStringList{"destroyAggregate", "destroyTap"}));
    EXPECT_FALSE(backend->logContains("setDefault"));
}

TEST_F(EngineTest, ADeviceThatRefusesToStartTearsEverythingDown)
{
    backend->ioStartStatus = -16;
    EXPECT_EQ(startFailure(), "The sound server could not start the audio stream (-16 (Device or resource busy)).");
    EXPECT_FALSE(engine.isRunning());
    EXPECT_TRUE(backend->logContains("destroyIOProc"));
    EXPECT_EQ(backend->log().last(), "destroyTap");
    EXPECT_EQ(backend->serverDefault, "speakers");
}

TEST_F(EngineTest, StatsCountCyclesAndOverloadsFromThisAttach)
{
    backend->overloadCount = 5;
    start();
    backend->runCycle(480, 0.5f);
    backend->runCycle(480, 0.5f);
    backend->overloadCount = 7;
    const auto s = engine.stats();
    EXPECT_EQ(s.callbacks, 2u);
    EXPECT_DOUBLE_EQ(s.renderedSeconds(), 960.0 / 48000);
    EXPECT_EQ(s.overloads, 2u);
    EXPECT_NEAR(s.inputPeakDB(), -6.02, 0.01);
    EXPECT_NEAR(s.outputPeakDB(), -6.02, 0.01);
    EXPECT_TRUE(engine.meter());
    EXPECT_TRUE(engine.spectrum()->available);
}

TEST_F(EngineTest, SourceActivityIsReadFromTheBackend)
{
    start();
    backend->sourceRunning = true;
    EXPECT_EQ(engine.isSourceRunningSomewhere(), true);
    backend->sourceRunning.reset();
    EXPECT_EQ(engine.isSourceRunningSomewhere(), std::nullopt);
}

TEST_F(EngineTest, DeviceChangesReachTheOwnerWhileRunningOnly)
{
    int calls = 0;
    engine.onDefaultDeviceChange = [&] { ++calls; };
    start();
    // Changes that arrive together are told once, on a later turn of the main loop.
    backend->fire(Event::defaultOutput);
    backend->fire(Event::deviceList);
    EXPECT_EQ(calls, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    backend->fire(Event::deviceList);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
    stopAndWait();
    backend->fire(Event::defaultOutput);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

// A default chosen while a start is on its way (as when a headset is made the default during the
// restart that its arrival caused) is followed once the run is up, whether it was told by an
// event during the start or found at the takeover with none; the choice is what stop gives back.
TEST_F(EngineTest, ADefaultChosenWhileTheStartIsOnItsWayIsFollowed)
{
    int calls = 0;
    engine.onDefaultDeviceChange = [&] { ++calls; };
    backend->devices[11] = {"headset", QString("Headset"), 2};
    std::optional<bool> started;
    const auto startHeld = [&] {
        started.reset();
        backend->holdCapture = true;
        engine.start(
            settings, true, std::nullopt,
            [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) { started = info.has_value(); });
        return waitUntil([&] { return backend->waitingInCapture(); });
    };

    ASSERT_TRUE(startHeld());
    backend->fire(Event::defaultOutput);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);  // nothing runs yet to follow it
    backend->holdCapture = false;
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return started.has_value(); }));
    ASSERT_TRUE(*started);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1);
    stopAndWait();

    ASSERT_TRUE(startHeld());
    // Reached the server after the capture read the default.
    backend->serverDefault = "headset";
    backend->defaultDevice = 11;
    backend->holdCapture = false;
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return started.has_value(); }));
    ASSERT_TRUE(*started);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
    stopAndWait();
    EXPECT_EQ(backend->log().filter("setDefault").last(), "setDefault headset");

    // A start with nothing chosen meanwhile follows nothing.
    start();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);

    // A change told to the run that a restart stops, and one chosen as the next start sets out,
    // both before the main loop takes the first: the first belongs to the run it stopped, the
    // second to the next one, which follows it (as when the session manager restores its
    // default while processing comes back after a server restart).
    backend->fire(Event::deviceList);
    started.reset();
    backend->holdCapture = true;
    engine.start(settings, true, std::nullopt,
                 [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) { started = info.has_value(); });
    backend->fire(Event::defaultOutput);
    ASSERT_TRUE(waitUntil([&] { return backend->waitingInCapture(); }));
    backend->holdCapture = false;
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return started.has_value(); }));
    ASSERT_TRUE(*started);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 3);
}

// The session manager may put its own default back after the start took it (as one that starts
// again restores what it stored): before the run is installed or while it runs, that is followed.
TEST_F(EngineTest, ADefaultTakenFromUsIsFollowed)
{
    int calls = 0;
    engine.onDefaultDeviceChange = [&] { ++calls; };
    start();
    ASSERT_TRUE(backend->serverDefaultSink().startsWith("local.quorel.aggregate."));
    backend->fire(Event::serverDefault);  // still ours: nothing to follow
    quorel::test::processEventsFor(100);
    EXPECT_EQ(calls, 0);
    backend->setServerDefaultSink("speakers");  // the real default stays the same device
    backend->fire(Event::serverDefault);
    EXPECT_TRUE(waitUntil([&] { return calls == 1; }));
    stopAndWait();

    // Taken between the start's taking it and the run's install.
    backend->takenBackTo = "speakers";
    start();
    EXPECT_TRUE(waitUntil([&] { return calls == 2; }));
}

TEST_F(EngineTest, ACycleSizeThatRunsOtherThanTheOneAskedForIsShown)
{
    backend->runningFramesValue = 8192;  // the server's forced quantum, processed in slices
    const SystemBoostEngine::Info info = start();
    EXPECT_EQ(info.bufferFrames, 8192u);
    EXPECT_NEAR(info.bufferMS(), 170.667, 1e-3);
    EXPECT_EQ(backend->requestedFrames(), 512u);
}

TEST_F(EngineTest, InfoTellsWhetherTheRealtimeThreadRunsRealtime)
{
    backend->realtimeValue = true;
    EXPECT_TRUE(start().realtime);
    backend->realtimeValue = false;
    EXPECT_FALSE(start().realtime);
    backend->realtimeValue.reset();
    EXPECT_FALSE(start().realtime);
}

TEST_F(EngineTest, AFaultStopsTheEngineGivesTheDefaultBackAndReachesTheOwner)
{
    std::vector<QString> failures;
    engine.onFailure = [&](const SystemBoostEngine::Failure& failure) {
        EXPECT_FALSE(engine.isRunning());  // stopped before the owner is told
        failures.push_back(failure.description());
    };
    start();
    ASSERT_EQ(backend->faultListenerCount(), 1);
    EXPECT_EQ(backend->serverDefaultSink(), backend->tapUID());
    backend->fault(AudioBackend::Fault::outputGone);
    EXPECT_FALSE(engine.isRunning());
    ASSERT_TRUE(engine.waitUntilIdle());  // the teardown runs on the engine's worker
    EXPECT_EQ(backend->serverDefaultSink(), "speakers");
    EXPECT_TRUE(backend->logContains("destroyTap"));
    EXPECT_EQ(failures, std::vector<QString>{"The output device is no longer available."});
    EXPECT_EQ(backend->faultListenerCount(), 0);

    start();
    backend->fault(AudioBackend::Fault::connectionLost);
    backend->fault(AudioBackend::Fault::streamFailed);  // told once only: the engine has stopped
    EXPECT_EQ(failures.back(), "The connection to the sound server was lost.");
    EXPECT_EQ(failures.size(), 2u);
    start();
    backend->fault(AudioBackend::Fault::streamFailed);
    EXPECT_EQ(failures.back(), "The sound server stopped the audio stream.");
}

TEST_F(EngineTest, AFaultOfAnEarlierRunDoesNotStopTheNextOne)
{
    int failures = 0;
    engine.onFailure = [&](const SystemBoostEngine::Failure&) { ++failures; };
    start();
    start();  // restarts
    ASSERT_EQ(backend->faultHandlersGiven.size(), 2u);
    // The first run's fault, told after that run had ended.
    backend->faultHandlersGiven.front()(AudioBackend::Fault::outputGone);
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(engine.isRunning());
    backend->faultHandlersGiven.back()(AudioBackend::Fault::outputGone);
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(engine.isRunning());
}

TEST_F(EngineTest, StopWhileTheCaptureIsBeingCreatedCancelsTheStartAndLeavesNothing)
{
    backend->holdCapture = true;
    std::optional<bool> succeeded;
    bool cancelled = false;
    engine.start(settings, true, std::nullopt, [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr e) {
        succeeded = info.has_value();
        try {
            if (e) std::rethrow_exception(e);
        } catch (const SystemBoostEngine::Cancelled&) {
            cancelled = true;
        } catch (...) {
        }
    });
    waitUntil([&] { return backend->waitingInCapture(); });
    engine.stop();
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return succeeded.has_value(); }));
    EXPECT_FALSE(*succeeded);
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(backend->log().mid(backend->log().size() - 2), (QStringList{"destroyAggregate", "destroyTap"}));
    EXPECT_FALSE(backend->logContains("createIOProc"));
}

TEST_F(EngineTest, OverlappingStartsLeaveOnlyTheNewestRunning)
{
    std::vector<bool> results;
    auto record = [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) {
        results.push_back(info.has_value());
    };
    engine.start(settings, true, std::nullopt, record);
    engine.start(settings, true, std::nullopt, record);
    waitUntil([&] { return results.size() >= 2; });
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(std::count(results.begin(), results.end(), true), 1);
    EXPECT_TRUE(engine.isRunning());
    // The first start either never created anything or took down what it created.
    ASSERT_TRUE(engine.waitUntilIdle());
    EXPECT_EQ(backend->liveTaps(), 1u);
}

TEST_F(EngineTest, FailuresReadInTheSavedLanguage)
{
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    backend->tapStatus = AudioBackend::Status(0x6E6F7065);
    EXPECT_EQ(startFailure(), QString::fromUtf8("O sistema não autorizou a captura do áudio do sistema ('nope'). "
                                                "Permita o Quorel nas configurações de som e tente novamente."));
    backend->tapStatus = 0;
    const char* keys[][2] = {
        {"{\"tapChannels\":3}", "A captura entregou 3 canais; o esperado era mono ou estéreo."},
        {"{\"rate\":7999}", "Taxa de amostragem inesperada: 7999.0 Hz."},
        {"{\"buffer\":0}", "Tamanho de buffer inesperado: 0 quadros."},
        {"{\"outputs\":0}", "O dispositivo agregado não expôs entrada e saída (2/0)."},
        {"{\"aggregate\":1}", "Não foi possível criar o dispositivo agregado (1)."},
        {"{\"io\":1}", "O servidor de som não conseguiu iniciar o fluxo de áudio (1)."},
    };
    for (const auto& [what, expected] : keys) {
        auto fresh = std::make_shared<SimulatedAudioBackend>();
        const QString w = what;
        if (w.contains("tapChannels")) fresh->tapChannelCount = 3;
        if (w.contains("rate")) fresh->clockValue.sampleRate = 7999;
        if (w.contains("buffer")) fresh->bufferFramesValue = 0;
        if (w.contains("outputs")) fresh->outputChannelCount = 0;
        if (w.contains("aggregate")) fresh->aggregateStatus = 1;
        if (w.contains("io")) fresh->ioStartStatus = 1;
        SystemBoostEngine other(fresh, devices, FakeChain::factory(readings));
        try {
            other.startAndWait(settings, true, std::nullopt);
            ADD_FAILURE() << what;
        } catch (const DescribedError& e) {
            EXPECT_EQ(e.description(), QString::fromUtf8(expected));
        }
    }
}

TEST(SystemBoostEngineGraph, AMonoCaptureRendersThroughTheStereoGraphEveryCycle)
{
    quorel::test::TemporaryHome home;
    auto backend = std::make_shared<SimulatedAudioBackend>();
    backend->inputChannelCount = 1;
    SystemBoostEngine engine(backend, std::make_shared<FakeAudioDevices>(), GraphChain::factory());
    DSPSettings settings;
    settings.boostDB = 6;
    const auto info = engine.startAndWait(settings, true, std::nullopt);
    EXPECT_GT(info.effectsLatencyMS, 0);
    std::vector<float> out;
    for (int i = 0; i < 8; ++i) out = backend->runCycle(512, 0.1f);
    const auto stats = engine.stats();
    EXPECT_EQ(stats.callbacks, 8u);
    EXPECT_EQ(stats.renderErrors, 0u);
    EXPECT_DOUBLE_EQ(stats.renderedSeconds(), 8 * 512 / 48000.0);
    // Both device channels carry the boosted capture.
    EXPECT_NEAR(out[2 * 500], 0.2f, 0.01f);
    EXPECT_NEAR(out[2 * 500 + 1], 0.2f, 0.01f);
    engine.setProcessed(false);
    for (int i = 0; i < 8; ++i) out = backend->runCycle(512, 0.1f);
    EXPECT_NEAR(out[2 * 500], 0.1f, 0.01f);
    EXPECT_TRUE(engine.meter());
}

TEST_F(EngineTest, StopReturnsWhileTheServerStillHoldsTheTeardownAndReportsItsEnd)
{
    start();
    backend->holdDefaultChanges = true;
    bool done = false;
    engine.stop([&] { done = true; });
    // The worker now waits in the default change; the caller does not.
    ASSERT_TRUE(waitUntil([&] { return backend->waitingInDefaultChange(); }));
    EXPECT_FALSE(engine.isRunning());
    EXPECT_FALSE(engine.info());
    EXPECT_TRUE(engine.isBusy());
    EXPECT_FALSE(backend->logContains("destroyTap"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(done);
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(backend->serverDefault, "speakers");
    EXPECT_EQ(backend->log().last(), "destroyTap");
}

TEST_F(EngineTest, AStartAskedForDuringATeardownBeginsAfterIt)
{
    start();
    backend->holdDefaultChanges = true;
    engine.stop();
    std::optional<bool> succeeded;
    engine.start(settings, true, std::nullopt, [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) {
        succeeded = info.has_value();
    });
    ASSERT_TRUE(waitUntil([&] { return backend->waitingInDefaultChange(); }));
    EXPECT_EQ(backend->log().filter("createTap").size(), 1);
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return succeeded.has_value(); }));
    EXPECT_TRUE(*succeeded);
    const QStringList log = backend->log();
    const qsizetype teardownEnd = log.indexOf("destroyTap");
    const qsizetype secondCapture = log.lastIndexOf(QRegularExpression("createTap .*"));
    ASSERT_GE(teardownEnd, 0);
    EXPECT_GT(secondCapture, teardownEnd);
    EXPECT_EQ(backend->serverDefault, backend->tapUID());
}

TEST_F(EngineTest, TeardownDoneArrivesAlsoWhenNothingRan)
{
    bool done = false;
    engine.stop([&] { done = true; });
    EXPECT_FALSE(done);  // always on a later turn of the main loop
    ASSERT_TRUE(waitUntil([&] { return done; }));
}

TEST_F(EngineTest, SettingsChangedWhileStartingReachTheRunningChain)
{
    std::optional<bool> succeeded;
    backend->holdCapture = true;
    engine.start(settings, true, std::nullopt, [&](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) {
        succeeded = info.has_value();
    });
    DSPSettings changed;
    changed.boostDB = 5;
    engine.apply(changed);
    engine.setProcessed(false);
    backend->release();
    ASSERT_TRUE(waitUntil([&] { return succeeded.has_value(); }));
    ASSERT_TRUE(*succeeded);
    EXPECT_EQ(probe.lastBoost, 5);
    EXPECT_EQ(probe.dry, 1);
}

TEST_F(EngineTest, AFaultStopsInOrderAndTellsTheOwnerOnce)
{
    std::vector<QString> failures;
    engine.onFailure = [&](const SystemBoostEngine::Failure& failure) { failures.push_back(failure.description()); };
    start();
    backend->fault(AudioBackend::Fault::connectionLost);
    EXPECT_FALSE(engine.isRunning());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures.front(), "The connection to the sound server was lost.");
    ASSERT_TRUE(engine.waitUntilIdle());
    EXPECT_EQ(backend->serverDefault, "speakers");
    EXPECT_EQ(backend->log().last(), "destroyTap");
    backend->fault(AudioBackend::Fault::outputGone);  // nothing left listening
    EXPECT_EQ(failures.size(), 1u);
}

// A caller with nothing to do while nothing plays sleeps until the running capture shows
// activity: told once, at the next cycle or when an app starts or stops playing into it; a
// cycle before the request, a cancelled request and a stopped engine tell nothing.
TEST_F(EngineTest, WakeOnActivityTellsOnceAtTheNextCycleOrSourceChange)
{
    int wakes = 0;
    EXPECT_FALSE(engine.wakeOnActivity([&] { ++wakes; }));  // nothing runs
    start();
    backend->runCycle(256, 0.25f);
    ASSERT_TRUE(engine.wakeOnActivity([&] { ++wakes; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 0);
    backend->runCycle(256, 0.25f);
    backend->runCycle(256, 0.25f);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);
    backend->runCycle(256, 0.25f);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);

    ASSERT_TRUE(engine.wakeOnActivity([&] { ++wakes; }));
    backend->setSourceRunning(true);
    EXPECT_EQ(wakes, 2);
    backend->setSourceRunning(false);
    EXPECT_EQ(wakes, 2);

    ASSERT_TRUE(engine.wakeOnActivity([&] { ++wakes; }));
    ASSERT_TRUE(engine.wakeOnActivity(nullptr));
    backend->runCycle(256, 0.25f);
    backend->setSourceRunning(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 2);

    ASSERT_TRUE(engine.wakeOnActivity([&] { ++wakes; }));
    EXPECT_EQ(backend->sourceListenerCount(), 1);
    stopAndWait();
    EXPECT_EQ(backend->sourceListenerCount(), 0);
    backend->setSourceRunning(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 2);

    // A backend that does not tell about apps cannot wake anyone.
    backend->tellsSourceChanges = false;
    start();
    EXPECT_FALSE(engine.wakeOnActivity([&] { ++wakes; }));
}
