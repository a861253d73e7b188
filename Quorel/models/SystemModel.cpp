#include "SystemModel.h"

#include "AudioFailure.h"
#include "CapturePrimer.h"
#include "SleepMonitor.h"
#include "SoundServerRestart.h"
#include "SystemVolumeController.h"

#include <QEventLoop>

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace quorel {

namespace {

constexpr double refreshPeriod = 0.2;
constexpr double stallDelay = 1.0;
constexpr double silentStartDelay = 5.0;
constexpr double wakeDelay = 0.8;
constexpr double outputChangeDelay = 0.8;
constexpr double outputSwitchDelay = 0.3;
constexpr double serviceRestartSettle = 3.0;  // after the sound server restarted
constexpr double shutdownWait = 3.0;          // at most, for the default output to be back

const char* const offStatus = "Off. Other apps play directly to the output.";
const char* const processingStatus = "Processing system audio on {0}.";
const char* const repeatedStall =
    "System audio repeatedly stopped flowing. Use “Restart audio service” to resume processing automatically.";
const char* const waitingForOutput = "Waiting for an output device; processing starts once one is there.";

std::unique_ptr<SystemBoostEngine> madeEngine(const SystemModel::Options& options)
{
    if (!options.engineFactory) throw std::invalid_argument("SystemModel needs an engine factory.");
    return options.engineFactory();
}

// What happened to processing is also said on standard error.
void note(const QString& text)
{
    const QByteArray line = QStringLiteral("Quorel: %1\n").arg(text).toUtf8();
    std::fputs(line.constData(), stderr);
}

}  // namespace

SystemModel::SystemModel(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      store_(options_.store ? *options_.store : UserDefaults::standard()),
      clock_(options_.clock ? options_.clock : Clock::system()), engine_(madeEngine(options_)),
      output_(store_, options_.outputDevices, engine_->devices()), status_(LocalizedMessage(offStatus)),
      watchdog_(clock_), restart_(clock_)
{
    primer_ = options_.primer ? options_.primer : CapturePrimer::shared();
    canOpenSoundSettings_ = options_.canOpenSoundSettings.value_or(
        options_.openSoundSettings ? true : SoundSettings::command().has_value());

    if (options_.followVolume) output_.followVolume();
    readOutputDevices();
    output_.listen([this] { readOutputDevices(); });

    std::weak_ptr<int> alive = alive_;
    engine_->onDefaultDeviceChange = [this, alive] {
        if (alive.lock()) outputChanged();
    };
    engine_->onFailure = [this, alive](const SystemBoostEngine::Failure& failure) {
        if (alive.lock()) engineFailed(LocalizedMessage::fromError(failure));
    };
    startRefreshTimer();
    if (options_.sleepEvents) {
        sleepMonitor_ = std::make_unique<SleepMonitor>();
        connect(sleepMonitor_.get(), &SleepMonitor::aboutToSleep, this, &SystemModel::willSleep);
        connect(sleepMonitor_.get(), &SleepMonitor::resumed, this, &SystemModel::didWake);
        connect(this, &SystemModel::readyToSleep, sleepMonitor_.get(), &SleepMonitor::allowSleep);
    }
}

SystemModel::~SystemModel()
{
    alive_.reset();
    timer_.reset();
    restart_.cancel();
    serviceRestartWait_.reset();
    engine_->onDefaultDeviceChange = nullptr;
    engine_->onFailure = nullptr;
}

SystemModel::Options SystemModel::optionsFromArguments(const QStringList& arguments)
{
    return optionsFromArguments(arguments, Options{});
}

SystemModel::Options SystemModel::optionsFromArguments(const QStringList& arguments, Options options)
{
    if (arguments.contains(QStringLiteral("--preview"))) options.preview = true;
    if (arguments.contains(QStringLiteral("--no-prime"))) options.noPrime = true;
    return options;
}

std::optional<QString> SystemModel::error() const
{
    if (!errorMessage_) return std::nullopt;
    return errorMessage_->text();
}

std::optional<SpectrumReading> SystemModel::spectrum() const
{
    if (!isActive_ || options_.preview) return std::nullopt;
    return engine_->spectrum();
}

void SystemModel::setSpectrumWanted(bool wanted)
{
    if (engine_) engine_->setSpectrumWanted(wanted);
}

bool SystemModel::isEngineBusy() const { return engine_->isBusy(); }

std::optional<bool> SystemModel::isSourceRunningSomewhere() const
{
    if (!engine_) return std::nullopt;
    return engine_->isSourceRunningSomewhere();
}

// ---- Published fields

void SystemModel::setStatus(const LocalizedMessage& status)
{
    status_ = status;
    emit statusChanged();
}

void SystemModel::setMeters(const Meters& meters)
{
    meters_ = meters;
    emit metersChanged();
}

void SystemModel::setFlag(bool& field, bool value)
{
    field = value;
    emit flagsChanged();
}

void SystemModel::setError(const std::optional<QString>& text)
{
    setErrorMessage(text ? std::optional<LocalizedMessage>(LocalizedMessage(*text)) : std::nullopt);
}

void SystemModel::setErrorMessage(const std::optional<LocalizedMessage>& message)
{
    errorMessage_ = message;
    emit errorChanged();
}

void SystemModel::reportWriteFailure(bool written)
{
    if (!written) setErrorMessage(LocalizedMessage("Could not save the settings file {0}.", {store_.filePath()}));
}

// A start that succeeds clears the error banner, but not the news that a choice (the one it
// carries out, say) could not be stored: the next launch would not find it.
void SystemModel::clearError()
{
    if (store_.hasUnsavedChanges())
        reportWriteFailure(false);
    else
        setErrorMessage(std::nullopt);
}

bool SystemModel::readOutputDevices()
{
    const bool answered = output_.readDevices();
    emit outputDevicesChanged();
    if (answered && awaitingServer_ && !shutDown_ && !options_.preview && !isActive_ && activation_ == 0) {
        // The sound server is back, or has an output device again, while the choice is still on: a
        // fresh start with fresh counts.
        awaitingServer_ = false;
        note(QStringLiteral("the sound server answers again; processing resumes."));
        cancelRestart();
        watchdog_.clearRetries();
        setErrorMessage(std::nullopt);
        reconnecting_ = true;
        activate();
    }
    return answered;
}

// ---- Switching on and off

void SystemModel::setActive(bool active)
{
    if (shutDown_) return;
    cancelRestart();
    resumeAfterWake_ = false;
    reconnecting_ = false;
    awaitingServer_ = false;
    reportWriteFailure(store_.save(activeKey, active ? QStringLiteral("true") : QStringLiteral("false")));
    watchdog_.reset();
    if (options_.preview) {
        simulate(active);
        return;
    }
    if (active)
        activate();
    else
        deactivate(LocalizedMessage(offStatus));
}

void SystemModel::activate()
{
    if (shutDown_) return;
    endRest();
    setStatus(LocalizedMessage("Starting… Quorel becomes the default output while processing runs."));
    const uint64_t number = ++activations_;
    activation_ = number;
    std::weak_ptr<int> alive = alive_;
    engine_->start(settings_, processed_, output_.deviceUID(),
                   [this, alive, number](std::optional<SystemBoostEngine::Info> info, std::exception_ptr failure) {
                       if (!alive.lock() || activation_ != number) return;  // superseded: dropped
                       activation_ = 0;
                       const bool reconnection = std::exchange(reconnecting_, false);
                       if (info) {
                           info_ = info;
                           emit infoChanged();
                           isActive_ = true;
                           emit activeChanged();
                           setFlag(canRestartAudioService_, false);
                           watchdog_.started();
                           setFlag(needsPermission_, false);
                           clearError();
                           stats_ = QRSystemIOStats();
                           emit statsChanged();
                           setFlag(waitingForAudio_, false);
                           setStatus(LocalizedMessage(processingStatus, {info->deviceName}));
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
                               setFlag(needsPermission_, true);
                           message = LocalizedMessage::fromError(error);
                       } catch (const std::exception& error) {
                           message = LocalizedMessage::fromError(error);
                       }
                       isActive_ = false;
                       emit activeChanged();
                       info_.reset();
                       emit infoChanged();
                       if (reconnection)
                           reconnectionFailed(*message);
                       else
                           startFailed(*message);
                   });
}

void SystemModel::deactivate(const LocalizedMessage& status, std::function<void()> teardownDone)
{
    endRest();
    activation_ = 0;
    if (!options_.preview) {
        engine_->cancelStart();
        engine_->stop(std::move(teardownDone));
    } else if (teardownDone) {
        teardownDone();
    }
    isActive_ = false;
    emit activeChanged();
    setFlag(waitingForAudio_, false);
    info_.reset();
    emit infoChanged();
    setMeters(Meters());
    setStatus(status);
}

void SystemModel::fail(const LocalizedMessage& error)
{
    setFlag(canRestartAudioService_, true);
    deactivate(LocalizedMessage("Stopped because of an error."));
    setErrorMessage(error);
}

void SystemModel::simulate(bool active)
{
    isActive_ = active;
    emit activeChanged();
    info_.reset();
    emit infoChanged();
    setFlag(needsPermission_, false);
    clearError();
    if (active) {
        setMeters(Meters{-18, -6, -1.8f, -17, 3.2f, true, 0.9f});
        setStatus(LocalizedMessage("Design preview: demonstration values, no audio is processed."));
    } else {
        setMeters(Meters());
        setStatus(LocalizedMessage(offStatus));
    }
}

void SystemModel::scheduleRestart(const LocalizedMessage& status, double delay)
{
    if (shutDown_ || !(isActive_ || resumeAfterWake_)) return;
    restartLater(status, delay);
}

void SystemModel::restartLater(const LocalizedMessage& status, double delay)
{
    deactivate(status);
    std::weak_ptr<int> alive = alive_;
    restart_.schedule(delay, [this, alive] {
        if (!alive.lock()) return;
        // No sink of ours is made while the server offers no output device.
        if (awaitOutputDevice()) return;
        reconnecting_ = true;
        activate();
    });
}

void SystemModel::cancelRestart() { restart_.cancel(); }

void SystemModel::shutdown()
{
    if (shutDown_) return;
    shutDown_ = true;
    cancelRestart();
    resumeAfterWake_ = false;
    if (options_.preview) {
        simulate(false);
        return;
    }
    struct Wait {
        bool done = false;
        QEventLoop loop;
    };
    auto wait = std::make_shared<Wait>();
    deactivate(LocalizedMessage(offStatus), [wait] {
        wait->done = true;
        wait->loop.quit();
    });
    if (wait->done) return;
    // The main loop keeps running meanwhile: the interface never freezes while quitting.
    std::unique_ptr<ClockTimer> giveUp = clock_->schedule(shutdownWait, [wait] { wait->loop.quit(); });
    wait->loop.exec();
}

void SystemModel::configure(const DSPSettings& settings, bool processed)
{
    settings_ = settings;
    processed_ = processed;
    if (!isActive_ || options_.preview) return;
    try {
        engine_->apply(settings);
    } catch (const std::exception& error) {
        fail(LocalizedMessage::fromError(error));
    }
    engine_->setProcessed(processed);
}

// ---- The 0.2 s refresh: meters and watchdog

void SystemModel::kickPrimer()
{
    watchdog_.countKick();
    if (!options_.noPrime && !primeSilently_ && primer_) primer_->kick();
}

void SystemModel::enterWaitingForAudio()
{
    if (waitingForAudio_ || !info_) return;
    setFlag(waitingForAudio_, true);
    setStatus(
        LocalizedMessage("Ready on {0}. Processing starts with the first sound an app plays.", {info_->deviceName}));
}

void SystemModel::startRefreshTimer()
{
    std::weak_ptr<int> alive = alive_;
    timer_ = clock_->schedule(
        refreshPeriod,
        [this, alive] {
            if (alive.lock()) refresh();
        },
        true);
}

void SystemModel::refresh()
{
    step();
    restIfNothingToDo();
}

void SystemModel::restIfNothingToDo()
{
    if (resting_ || !isActive_ || options_.preview || !waitingForAudio_ || restart_.isPending() || activation_ != 0)
        return;
    // The primer's second kick is still due.
    if (stats_.callbacks == 0 && watchdog_.kicksLeft()) return;
    if (!MeterBallistics::atRest(meters_)) return;
    std::weak_ptr<int> alive = alive_;
    if (!engine_->wakeOnActivity([this, alive] {
            if (alive.lock()) endRest();
        }))
        return;
    // Asked once the engine watches, so nothing that happens in between goes untold: a cycle
    // since the last reading, or an app that plays (or nobody can say).
    if (engine_->stats().callbacks != stats_.callbacks || engine_->isSourceRunningSomewhere() != false) {
        engine_->wakeOnActivity(nullptr);
        return;
    }
    resting_ = true;
    timer_.reset();
}

void SystemModel::endRest()
{
    if (!resting_) return;
    resting_ = false;
    engine_->wakeOnActivity(nullptr);
    // A stall counts from now: the app that starts playing gets the watchdog's whole 3 s.
    watchdog_.restartStallTime();
    startRefreshTimer();
}

void SystemModel::step()
{
    if (output_.readDue()) readOutputDevices();
    if (!isActive_ || options_.preview) return;

    stats_ = engine_->stats();
    emit statsChanged();
    if (!watchFlow()) return;
    if (waitingForAudio_) {
        setMeters(MeterBallistics::waiting(meters_));
        return;
    }
    stepMeters();
}

bool SystemModel::watchFlow()
{
    using Verdict = StallWatchdog::Verdict;
    const StallWatchdog::Look look =
        watchdog_.look(stats_.callbacks, [this] { return engine_->isSourceRunningSomewhere(); });
    if (look.resumed) leaveWaitingForAudio();
    switch (look.verdict) {
    case Verdict::carryOn: return true;
    case Verdict::cannotTell: break;
    case Verdict::waitForAudio:
        enterWaitingForAudio();
        if (look.kickDue) kickPrimer();
        break;
    case Verdict::stalled: countStall(LocalizedMessage(repeatedStall)); break;
    case Verdict::retryStart:
        scheduleRestart(
            LocalizedMessage("An app is playing, but no audio reaches Quorel; retrying in 5 s "
                             "({0} of 5). If this keeps up, the sound server (PipeWire) may need a restart.",
                             {QString::number(watchdog_.silentStartRetries())}),
            silentStartDelay);
        break;
    case Verdict::giveUpStart:
        fail(LocalizedMessage("The system did not deliver audio to Quorel. The sound server (PipeWire) may "
                              "be stuck. Use “Restart audio service” to resume processing automatically."));
        setFlag(needsPermission_, true);
        break;
    }
    return false;
}

void SystemModel::leaveWaitingForAudio()
{
    if (!waitingForAudio_ || !info_) return;
    setFlag(waitingForAudio_, false);
    setStatus(LocalizedMessage(processingStatus, {info_->deviceName}));
}

void SystemModel::stepMeters()
{
    const std::optional<MeterReading> reading = engine_->meter();
    if (!reading) return;
    setMeters(MeterBallistics::step(meters_, stats_.inputPeakDB(), *reading));
    if (reading->invalidSamples != 0)
        fail(LocalizedMessage("Invalid samples were detected in system audio. Processing was stopped."));
}

// Processing ended under the engine (the server went away, the output vanished, the streams
// were stopped): counted with the stalls, so it reconnects, and gives up with that failure.
void SystemModel::engineFailed(const LocalizedMessage& failure)
{
    if (!isActive_) return;
    note(failure.text());
    if (awaitOutputDevice()) return;
    countStall(failure);
}

// The server that went away (restarted, crashed, updated) may not answer yet: each failed start
// is one more reconnection, and the give-up says that the flow repeatedly stopped.
void SystemModel::reconnectionFailed(const LocalizedMessage& failure)
{
    note(QStringLiteral("reconnecting failed: %1").arg(failure.text()));
    if (awaitOutputDevice()) return;
    countStall(LocalizedMessage(repeatedStall), true);
}

void SystemModel::countStall(const LocalizedMessage& giveUp, bool afterFailedStart)
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
void SystemModel::startFailed(const LocalizedMessage& failure)
{
    if (awaitOutputDevice()) {
        note(QStringLiteral("could not enable processing: %1").arg(failure.text()));
        return;
    }
    if (awaitServerIfGone(QStringLiteral("could not enable processing: %1").arg(failure.text()))) {
        setStatus(LocalizedMessage("Waiting for the sound server (PipeWire); processing starts once it answers."));
        clearError();
        return;
    }
    setStatus(LocalizedMessage("Could not enable processing."));
    setErrorMessage(failure);
}

bool SystemModel::awaitServerIfGone(const QString& why)
{
    if (shutDown_ || options_.preview) return false;
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
bool SystemModel::awaitOutputDevice()
{
    if (shutDown_ || options_.preview) return false;
    if (readOutputDevices() || !output_.answered()) return false;
    awaitingServer_ = true;
    cancelRestart();
    deactivate(LocalizedMessage(waitingForOutput));
    clearError();
    note(QStringLiteral("no output device; processing resumes once there is one."));
    return true;
}

// ---- Sleep, wake, output device, sound-server restart

void SystemModel::willSleep()
{
    std::weak_ptr<int> alive = alive_;
    const auto ready = [this, alive] {
        if (alive.lock()) emit readyToSleep();
    };
    // A start under way or a reconnection waiting for its delay counts as on: it resumes after
    // the wake rather than starting while the system goes to sleep.
    if (!isActive_ && !restart_.isPending() && activation_ == 0) {
        // Nothing of ours holds the default: sleep may go on once earlier teardowns ended.
        if (options_.preview)
            emit readyToSleep();
        else
            engine_->stop(ready);
        return;
    }
    cancelRestart();
    resumeAfterWake_ = true;
    deactivate(LocalizedMessage("Paused while the system is asleep."), ready);
}

void SystemModel::didWake()
{
    if (!resumeAfterWake_) return;
    scheduleRestart(LocalizedMessage("Resuming after sleep."), wakeDelay);
    resumeAfterWake_ = false;
}

// A device list read at this moment may be empty for a moment while the session manager sets
// the device up again (as it does when it restarts): whether there is no device is read when the
// restart is due.
void SystemModel::outputChanged()
{
    scheduleRestart(LocalizedMessage("The output changed; reconnecting."), outputChangeDelay);
}

void SystemModel::setOutputDevice(const std::optional<QString>& uid)
{
    const bool written = output_.choose(uid);
    emit outputDeviceChanged();
    reportWriteFailure(written);
    if (isActive_) scheduleRestart(LocalizedMessage("Switching output…"), outputSwitchDelay);
}

void SystemModel::restartAudioService()
{
    if (restartingAudioService_ || shutDown_) return;
    setFlag(restartingAudioService_, true);
    std::weak_ptr<int> alive = alive_;
    auto finish = [this, alive](std::optional<QString> failure) {
        if (!alive.lock()) return;
        // The new server needs a moment before it takes streams.
        serviceRestartWait_ = clock_->schedule(serviceRestartSettle, [this, alive, failure] {
            if (!alive.lock()) return;
            setFlag(restartingAudioService_, false);
            if (!failure) {
                setErrorMessage(std::nullopt);
                setActive(true);
            } else {
                setStatus(LocalizedMessage("Audio service was not restarted ({0}).", {*failure}));
            }
        });
    };
    // The sound server goes down only once our stop has given the default output back.
    deactivate(LocalizedMessage("Restarting the sound server (PipeWire)…"), [this, alive, finish] {
        if (!alive.lock()) return;
        if (options_.restartAudioService)
            options_.restartAudioService(finish);
        else
            SoundServerRestart::run(this, finish);
    });
}

void SystemModel::openPrivacySettings()
{
    if (options_.openSoundSettings)
        options_.openSoundSettings();
    else
        SoundSettings::open();
}

}  // namespace quorel
