#pragma once

#include "AudioDevices.h"
#include "Clock.h"
#include "DSPSettings.h"
#include "DelayedRestart.h"
#include "LocalizedMessage.h"
#include "MeterBallistics.h"
#include "OutputFollowing.h"
#include "SpectrumReading.h"
#include "StallWatchdog.h"
#include "SystemBoostEngine.h"
#include "UserDefaults.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

class CapturePrimer;
class SleepMonitor;
class SystemVolumeController;

// The main-thread controller of the audio engine: switches the processing of system audio on
// and off, hands the settings to the running engine, watches the audio flow five times a
// second and reconnects, pauses for sleep, follows the output device, restarts the sound
// server, and publishes the on/off state, status and error lines, the engine's information and
// counters, the meters and the output devices. One exists per process, owned by the root model.
//
// While processing waits for audio with nothing left to do on time (no app plays, the meters
// rest, the primer's kicks are made), the refresh rests too: the engine wakes it at the next
// cycle or when an app starts or stops playing, so nothing costs anything while nothing plays.
//
// Every delay (the 0.2 s refresh, the delayed restarts, the watchdog's dates) runs on the
// Clock of the options. The policies live in their own classes: the StallWatchdog (with the
// DelayedRestart of its reconnections), the MeterBallistics and the OutputFollowing.
class SystemModel : public QObject {
    Q_OBJECT
public:
    // Outcome of a sound-server restart: none on success, else the failure's text.
    using RestartDone = std::function<void(std::optional<QString> failure)>;

    struct Options {
        std::shared_ptr<Clock> clock;       // none: Clock::system()
        std::optional<UserDefaults> store;  // none: UserDefaults::standard()
        // Required: makes the engine on the sound server (the application and quorel-tool hand it
        // PipeWireAudioBackend, the tests a simulated backend).
        std::function<std::unique_ptr<SystemBoostEngine>()> engineFactory;
        bool preview = false;                   // "--preview": demonstration values, no engine
        bool noPrime = false;                   // "--no-prime"
        std::shared_ptr<CapturePrimer> primer;  // none: CapturePrimer::shared()
        std::function<std::vector<AudioDevices::OutputDevice>()> outputDevices;  // none: the engine's devices
        bool followVolume = true;  // own a SystemVolumeController following the chosen output
        bool sleepEvents = true;   // take sleep and wake from logind (SleepMonitor)
        // Restarts the sound server and reports once, on the main thread; none: systemctl.
        std::function<void(RestartDone)> restartAudioService;
        // Opens the desktop's sound settings; none: the first of the known programs on PATH.
        std::function<bool()> openSoundSettings;
        std::optional<bool> canOpenSoundSettings;  // none: whether such a program is on PATH
    };

    // The published meters (dBFS, dB, LUFS, 0...1).
    using Meters = MeterBallistics::Meters;

    explicit SystemModel(Options options, QObject* parent = nullptr);
    ~SystemModel() override;

    static constexpr const char* activeKey = "Corvanta.System.Active.v1";
    static constexpr const char* outputDeviceKey = OutputFollowing::outputDeviceKey;
    // Reads "--preview" and "--no-prime" (whole arguments, exact) into the options.
    static Options optionsFromArguments(const QStringList& arguments, Options options);
    static Options optionsFromArguments(const QStringList& arguments);

    // ---- Published state
    bool isActive() const { return isActive_; }
    const LocalizedMessage& status() const { return status_; }
    const std::optional<LocalizedMessage>& errorMessage() const { return errorMessage_; }
    // The error line's text in the saved language; none without an error.
    std::optional<QString> error() const;
    bool canRestartAudioService() const { return canRestartAudioService_; }
    const std::optional<SystemBoostEngine::Info>& info() const { return info_; }
    const QRSystemIOStats& stats() const { return stats_; }
    const Meters& meters() const { return meters_; }
    bool needsPermission() const { return needsPermission_; }
    const std::optional<QString>& outputDeviceUID() const { return output_.deviceUID(); }
    const std::vector<AudioDevices::OutputDevice>& outputDevices() const { return output_.devices(); }
    bool waitingForAudio() const { return waitingForAudio_; }
    bool restartingAudioService() const { return restartingAudioService_; }
    bool canOpenSoundSettings() const { return canOpenSoundSettings_; }
    bool isPreview() const { return options_.preview; }
    // The spectrum of the running chain; none while off.
    std::optional<SpectrumReading> spectrum() const;
    // Whether a view reads spectrum(): the chain analyses only while one does.
    void setSpectrumWanted(bool wanted);
    // The volume and mute of the chosen output (null without followVolume).
    SystemVolumeController* volume() const { return output_.volume(); }
    const DSPSettings& settings() const { return settings_; }
    bool processed() const { return processed_; }

    // Watchdog counters (diagnostics and tests).
    int primeKicks() const { return watchdog_.kicks(); }
    int silentStartRetries() const { return watchdog_.silentStartRetries(); }
    int stallRestarts() const { return watchdog_.stallRestarts(); }
    bool isRestartPending() const { return restart_.isPending(); }
    // Whether the refresh rests until the engine tells of a cycle or of an app playing.
    bool isResting() const { return resting_; }
    // Whether the engine still tears down or builds up on its worker.
    bool isEngineBusy() const;
    // Whether another application plays into the capture right now; none when it cannot tell
    // (asked of the engine at the call, for the statistics line).
    std::optional<bool> isSourceRunningSomewhere() const;

    // ---- Operations (main thread)
    // The user's on/off choice: stores it under activeKey, resets the watchdog's counters,
    // cancels a pending restart and a pending resume after sleep, then starts or stops.
    void setActive(bool active);
    // Stops processing as quitting does, and waits (at most 3 s, the main loop running) until
    // the default output is back. The stored choice stays as it was; nothing restarts after.
    void shutdown();
    // The settings and processed flag for the next activation; applied at once while active.
    void configure(const DSPSettings& settings, bool processed);
    // Sets (or with none, clears) the error line; a text is shown as it stands.
    void setError(const std::optional<QString>& text);
    void setErrorMessage(const std::optional<LocalizedMessage>& message);
    // Chooses the output device (none: the system default), remembers it and, while active,
    // reconnects on it after 0.3 s.
    void setOutputDevice(const std::optional<QString>& uid);
    // One 0.2 s step of the meters and the watchdog (the timer calls it); then rests when there
    // is nothing to do until audio comes.
    void refresh();
    // Stops processing, restarts the sound server once the teardown is done, waits 3 s and
    // then switches processing on (or reports why the restart failed).
    void restartAudioService();
    // Opens the desktop's sound settings (where one is installed).
    void openPrivacySettings();

    // Sleep and wake (from the SleepMonitor; public for tests and tools).
    void willSleep();
    void didWake();
    // The engine reported a change of the default output or the device list.
    void outputChanged();

signals:
    void activeChanged();
    void statusChanged();
    void errorChanged();
    void outputDeviceChanged();
    void outputDevicesChanged();
    void infoChanged();
    void statsChanged();
    void metersChanged();
    // needsPermission, canRestartAudioService, waitingForAudio, restartingAudioService.
    void flagsChanged();
    // The stop that sleep asked for has given the default output back: sleep may go on.
    void readyToSleep();

private:
    void activate();
    void deactivate(const LocalizedMessage& status, std::function<void()> teardownDone = {});
    void fail(const LocalizedMessage& error);
    void simulate(bool active);
    void scheduleRestart(const LocalizedMessage& status, double delay);
    // scheduleRestart without its guard: also after a reconnection's start failed.
    void restartLater(const LocalizedMessage& status, double delay);
    void cancelRestart();
    void enterWaitingForAudio();
    void engineFailed(const LocalizedMessage& failure);
    // Counts a stall now: reconnects while fewer than three fell in the window, else fails
    // with `giveUp`.
    void countStall(const LocalizedMessage& giveUp, bool afterFailedStart = false);
    // A start of an automatic reconnection failed: counted with the stalls.
    void reconnectionFailed(const LocalizedMessage& failure);
    // A start that was no automatic reconnection failed: waits for a sound server that does not
    // answer yet, else shows the failure.
    void startFailed(const LocalizedMessage& failure);
    // The watchdog gave up, or a start failed: when the sound server does not answer now,
    // processing resumes by itself once it answers again (true), `why` said on standard error.
    bool awaitServerIfGone(const QString& why = {});
    // The sound server answers with no output device: stops and waits, saying so, until the
    // device list has one (true); nothing is counted and no sink of ours is made meanwhile.
    bool awaitOutputDevice();
    void kickPrimer();
    // refresh() without the rest that follows it.
    void step();
    // The watchdog's look at the flow: false when this refresh has nothing more to do.
    bool watchFlow();
    // Leaves the wait for audio: cycles came again.
    void leaveWaitingForAudio();
    void stepMeters();
    void startRefreshTimer();
    // Rests the refresh while processing waits for audio with nothing to do on time.
    void restIfNothingToDo();
    // Ends a rest: the engine told of activity, or processing starts or stops.
    void endRest();
    void setStatus(const LocalizedMessage& status);
    void setMeters(const Meters& meters);
    void setFlag(bool& field, bool value);
    void reportWriteFailure(bool written);
    void clearError();
    // Reads the output devices; true when the sound server answered with at least one.
    bool readOutputDevices();

    Options options_;
    UserDefaults store_;
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<SystemBoostEngine> engine_;
    std::shared_ptr<CapturePrimer> primer_;
    OutputFollowing output_;
    std::unique_ptr<SleepMonitor> sleepMonitor_;

    bool isActive_ = false;
    LocalizedMessage status_;
    bool canRestartAudioService_ = false;
    std::optional<SystemBoostEngine::Info> info_;
    QRSystemIOStats stats_;
    Meters meters_;
    bool needsPermission_ = false;
    std::optional<LocalizedMessage> errorMessage_;
    StallWatchdog watchdog_;
    DSPSettings settings_;
    bool processed_ = true;
    std::unique_ptr<ClockTimer> timer_;
    bool resting_ = false;  // the refresh timer stopped until the engine tells of activity
    bool resumeAfterWake_ = false;
    DelayedRestart restart_;
    uint64_t activation_ = 0;  // the running start's number; 0 = none
    uint64_t activations_ = 0;
    bool reconnecting_ = false;  // the running start is an automatic reconnection
    // The server was gone, or had no output device, when it failed or gave up: resume once it
    // answers with a device.
    bool awaitingServer_ = false;
    bool primeSilently_ = false;  // this run is a restart: kicks are counted, nothing plays
    bool waitingForAudio_ = false;
    bool restartingAudioService_ = false;
    bool canOpenSoundSettings_ = false;
    bool shutDown_ = false;
    std::unique_ptr<ClockTimer> serviceRestartWait_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quorel
