#include "EngineLife.h"

#include "CapturePrimer.h"
#include "OutputFollowing.h"
#include "SoundServerRestart.h"
#include "SystemBoostEngine.h"
#include "SystemStatus.h"

#include <QEventLoop>

#include <cstdio>
#include <exception>
#include <utility>

namespace quorel {

namespace {

constexpr double stallDelay = 1.0;
constexpr double wakeDelay = 0.8;
constexpr double outputChangeDelay = 0.8;
constexpr double serviceRestartSettle = 3.0;  // after the sound server restarted
constexpr double shutdownWait = 3.0;          // at most, for the default output to be back

const char* const waitingForOutput = "Waiting for an output device; processing starts once one is there.";

// What happened to processing is also said on standard error.
void note(const QString& text)
{
    const QByteArray line = QStringLiteral("Quorel: %1\n").arg(text).toUtf8();
    std::fputs(line.constData(), stderr);
}

}  // namespace

EngineLife::EngineLife(SystemBoostEngine& engine, SystemStatus& status, OutputFollowing& output, Setup setup)
    : engine_(engine), status_(status), output_(output), setup_(std::move(setup)), watchdog_(setup_.clock),
      restart_(setup_.clock)
{
    std::weak_ptr<int> alive = alive_;
    engine_.onDefaultDeviceChange = [this, alive] {
        if (alive.lock()) outputChanged();
    };
    engine_.onFailure = [this, alive](const SystemBoostEngine::Failure& failure) {
        if (alive.lock()) engineFailed(LocalizedMessage::fromError(failure));
    };
}

EngineLife::~EngineLife()
{
    alive_.reset();
    restart_.cancel();
    serviceRestartWait_.reset();
    engine_.onDefaultDeviceChange = nullptr;
    engine_.onFailure = nullptr;
}

bool EngineLife::readOutputDevices()
{
    const bool answered = output_.readDevices();
    emit outputDevicesRead();
    if (answered && awaitingServer_ && !shutDown_ && !setup_.preview && !status_.isActive() && activation_ == 0) {
        // The sound server is back, or has an output device again, while the choice is still on: a
        // fresh start with fresh counts.
        awaitingServer_ = false;
        note(QStringLiteral("the sound server answers again; processing resumes."));
        restart_.cancel();
        watchdog_.clearRetries();
        status_.setErrorMessage(std::nullopt);
        reconnecting_ = true;
        activate();
    }
    return answered;
}

// ---- Switching on and off

void EngineLife::setActive(bool active)
{
    if (shutDown_) return;
    restart_.cancel();
    resumeAfterWake_ = false;
    reconnecting_ = false;
    awaitingServer_ = false;
    status_.reportWriteFailure(setup_.store.save(activeKey, active ? QStringLiteral("true") : QStringLiteral("false")));
    watchdog_.reset();
    if (setup_.preview) {
        status_.showPreview(active);
        return;
    }
    if (active)
        activate();
    else
        deactivate(LocalizedMessage(SystemStatus::offStatus));
}

void EngineLife::activate()
{
    if (shutDown_) return;
    setup_.endRest();
    status_.setStatus(LocalizedMessage("Starting… Quorel becomes the default output while processing runs."));
    const uint64_t number = ++activations_;
    activation_ = number;
    std::weak_ptr<int> alive = alive_;
    engine_.start(settings_, processed_, output_.deviceUID(),
                  [this, alive, number](std::optional<SystemBoostEngine::Info> info, std::exception_ptr failure) {
                      if (!alive.lock() || activation_ != number) return;  // superseded: dropped
                      activation_ = 0;
                      const bool reconnection = std::exchange(reconnecting_, false);
                      if (info) {
                          status_.setInfo(info);
                          status_.setActive(true);
                          status_.setCanRestartAudioService(false);
                          watchdog_.started();
                          status_.setNeedsPermission(false);
                          status_.clearError();
                          status_.setStats(QRSystemIOStats());
                          status_.setWaitingForAudio(false);
                          status_.showProcessing();
                          // A restart plays no priming sound: the device it makes run goes idle a
                          // moment later, and WirePlumber 0.4 crashes when a device is removed
                          // within the 5 s after it went idle, as after an unplug that restarts
                          // processing. Its kicks are counted as those of --no-prime are.
                          primeSilently_ = reconnection;
                          kickPrimer();
                          return;
                      }
                      std::optional<LocalizedMessage> message;
                      try {
                          std::rethrow_exception(failure);
                      } catch (const SystemBoostEngine::Cancelled&) {
                          return;  // a newer start or a stop decides
                      } catch (const SystemBoostEngine::Failure& error) {
                          if (error.kind() == SystemBoostEngine::Failure::Kind::permission)
                              status_.setNeedsPermission(true);
                          message = LocalizedMessage::fromError(error);
                      } catch (const std::exception& error) {
                          message = LocalizedMessage::fromError(error);
                      }
                      status_.setActive(false);
                      status_.setInfo(std::nullopt);
                      if (reconnection)
                          reconnectionFailed(*message);
                      else
                          startFailed(*message);
                  });
}

void EngineLife::deactivate(const LocalizedMessage& status, std::function<void()> teardownDone)
{
    setup_.endRest();
    activation_ = 0;
    if (!setup_.preview) {
        engine_.cancelStart();
        engine_.stop(std::move(teardownDone));
    } else if (teardownDone) {
        teardownDone();
    }
    status_.setActive(false);
    status_.setWaitingForAudio(false);
    status_.setInfo(std::nullopt);
    status_.setMeters(SystemStatus::Meters());
    status_.setStatus(status);
}

void EngineLife::fail(const LocalizedMessage& error)
{
    status_.setCanRestartAudioService(true);
    deactivate(LocalizedMessage("Stopped because of an error."));
    status_.setErrorMessage(error);
}

void EngineLife::scheduleRestart(const LocalizedMessage& status, double delay)
{
    if (shutDown_ || !(status_.isActive() || resumeAfterWake_)) return;
    restartLater(status, delay);
}

void EngineLife::restartLater(const LocalizedMessage& status, double delay)
{
    deactivate(status);
    std::weak_ptr<int> alive = alive_;
    restart_.schedule(delay, [this, alive] {
        if (!alive.lock()) return;
        // This restart is the resumption a wait for the server would bring: reading the devices
        // here starts nothing more. No sink of ours is made while the server offers no device.
        awaitingServer_ = false;
        if (awaitOutputDevice()) return;
        reconnecting_ = true;
        activate();
    });
}

void EngineLife::shutdown()
{
    if (shutDown_) return;
    shutDown_ = true;
    restart_.cancel();
    resumeAfterWake_ = false;
    if (setup_.preview) {
        status_.showPreview(false);
        return;
    }
    struct Wait {
        bool done = false;
        QEventLoop loop;
    };
    auto wait = std::make_shared<Wait>();
    deactivate(LocalizedMessage(SystemStatus::offStatus), [wait] {
        wait->done = true;
        wait->loop.quit();
    });
    if (wait->done) return;
    // The main loop keeps running meanwhile: the interface never freezes while quitting.
    std::unique_ptr<ClockTimer> giveUp = setup_.clock->schedule(shutdownWait, [wait] { wait->loop.quit(); });
    wait->loop.exec();
}

void EngineLife::configure(const DSPSettings& settings, bool processed)
{
    settings_ = settings;
    processed_ = processed;
    if (!status_.isActive() || setup_.preview) return;
    try {
        engine_.apply(settings);
    } catch (const std::exception& error) {
        fail(LocalizedMessage::fromError(error));
    }
    engine_.setProcessed(processed);
}

void EngineLife::kickPrimer()
{
    watchdog_.countKick();
    if (!setup_.noPrime && !primeSilently_ && setup_.primer) setup_.primer->kick();
}

// ---- Failures, stalls and the waits for the sound server

// Processing ended under the engine (the server went away, the output vanished, the streams
// were stopped): counted with the stalls, so it reconnects, and gives up with that failure.
void EngineLife::engineFailed(const LocalizedMessage& failure)
{
    if (!status_.isActive()) return;
    note(failure.text());
    if (awaitOutputDevice()) return;
    countStall(failure);
}

// The server that went away (restarted, crashed, updated) may not answer yet: each failed start
// is one more reconnection, and the give-up says that the flow repeatedly stopped.
void EngineLife::reconnectionFailed(const LocalizedMessage& failure)
{
    note(QStringLiteral("reconnecting failed: %1").arg(failure.text()));
    if (awaitOutputDevice()) return;
    countStall(LocalizedMessage(repeatedStall), true);
}

void EngineLife::countStall(const LocalizedMessage& giveUp, bool afterFailedStart)
{
    if (const std::optional<int> reconnection = watchdog_.countStall()) {
        const LocalizedMessage status("Audio stopped flowing; reconnecting ({0} of 3).",
                                      {QString::number(*reconnection)});
        if (afterFailedStart)
            restartLater(status, stallDelay);
        else
            scheduleRestart(status, stallDelay);
    } else {
        fail(giveUp);
        note(giveUp.text());
        if (!awaitOutputDevice()) awaitServerIfGone();
    }
}

// A start the user (or the stored choice at login) asked for failed. When the sound server does
// not answer yet (the session starts Quorel before it), the choice stays on and processing
// starts once the server answers, as after the watchdog gave up.
void EngineLife::startFailed(const LocalizedMessage& failure)
{
    if (awaitOutputDevice()) {
        note(QStringLiteral("could not enable processing: %1").arg(failure.text()));
        return;
    }
    if (awaitServerIfGone(QStringLiteral("could not enable processing: %1").arg(failure.text()))) {
        status_.setStatus(
            LocalizedMessage("Waiting for the sound server (PipeWire); processing starts once it answers."));
        status_.clearError();
        return;
    }
    status_.setStatus(LocalizedMessage("Could not enable processing."));
    status_.setErrorMessage(failure);
}

bool EngineLife::awaitServerIfGone(const QString& why)
{
    if (shutDown_ || setup_.preview) return false;
    if (readOutputDevices()) return false;
    awaitingServer_ = true;
    if (!why.isEmpty()) note(why);
    note(QStringLiteral("processing resumes once the sound server answers again."));
    return true;
}

// The sound server answers with no output device (the only one was unplugged; what it offers then
// is its dummy sink, which goes as soon as ours comes and would bring the next stop): processing
// stops and waits without a sink of ours, the choice still on and nothing counted, until the
// device list has a device again.
bool EngineLife::awaitOutputDevice()
{
    if (shutDown_ || setup_.preview) return false;
    if (readOutputDevices() || !output_.answered()) return false;
    awaitingServer_ = true;
    restart_.cancel();
    deactivate(LocalizedMessage(waitingForOutput));
    status_.clearError();
    note(QStringLiteral("no output device; processing resumes once there is one."));
    return true;
}

// ---- Sleep, wake, output change, sound-server restart

void EngineLife::willSleep()
{
    std::weak_ptr<int> alive = alive_;
    const auto ready = [this, alive] {
        if (alive.lock()) emit readyToSleep();
    };
    // A start under way or a reconnection waiting for its delay counts as on: it resumes after
    // the wake rather than starting while the system goes to sleep.
    if (!status_.isActive() && !restart_.isPending() && activation_ == 0) {
        // Nothing of ours holds the default: sleep may go on once earlier teardowns ended.
        if (setup_.preview)
            emit readyToSleep();
        else
            engine_.stop(ready);
        return;
    }
    restart_.cancel();
    resumeAfterWake_ = true;
    deactivate(LocalizedMessage("Paused while the system is asleep."), ready);
}

void EngineLife::didWake()
{
    if (!resumeAfterWake_) return;
    scheduleRestart(LocalizedMessage("Resuming after sleep."), wakeDelay);
    resumeAfterWake_ = false;
}

// A device list read at this moment may be empty for a moment while the session manager sets
// the device up again (as it does when it restarts): whether there is no device is read when the
// restart is due.
void EngineLife::outputChanged()
{
    scheduleRestart(LocalizedMessage("The output changed; reconnecting."), outputChangeDelay);
}

void EngineLife::restartAudioService()
{
    if (status_.restartingAudioService() || shutDown_) return;
    status_.setRestartingAudioService(true);
    std::weak_ptr<int> alive = alive_;
    auto finish = [this, alive](std::optional<QString> failure) {
        if (!alive.lock()) return;
        // The new server needs a moment before it takes streams.
        serviceRestartWait_ = setup_.clock->schedule(serviceRestartSettle, [this, alive, failure] {
            if (!alive.lock()) return;
            status_.setRestartingAudioService(false);
            if (!failure) {
                status_.setErrorMessage(std::nullopt);
                setActive(true);
            } else {
                status_.setStatus(LocalizedMessage("Audio service was not restarted ({0}).", {*failure}));
            }
        });
    };
    // The sound server goes down only once our stop has given the default output back.
    deactivate(LocalizedMessage("Restarting the sound server (PipeWire)…"), [this, alive, finish] {
        if (!alive.lock()) return;
        if (setup_.restartAudioService)
            setup_.restartAudioService(finish);
        else
            SoundServerRestart::run(this, finish);
    });
}

}  // namespace quorel
