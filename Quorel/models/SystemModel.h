#pragma once

#include "AudioDevices.h"
#include "Clock.h"
#include "DSPSettings.h"
#include "EngineLife.h"
#include "FlowRefresh.h"
#include "LocalizedMessage.h"
#include "OutputFollowing.h"
#include "SpectrumReading.h"
#include "SystemBoostEngine.h"
#include "SystemStatus.h"
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
// The façade of the classes that do it, each owning its concern: the SystemStatus (what the user
// reads), the EngineLife (every start, stop and restart, with the StallWatchdog and the
// DelayedRestart), the FlowRefresh (the 0.2 s refresh, the meters by MeterBallistics and the
// refresh's rest while nothing plays) and the OutputFollowing (the chosen output, the device list
// and the volume). It owns the engine they share, and the sleep monitor.
//
// Every delay (the 0.2 s refresh, the delayed restarts, the watchdog's dates) runs on the
// Clock of the options.
class SystemModel : public QObject {
    Q_OBJECT
public:
    // Outcome of a sound-server restart: none on success, else the failure's text.
    using RestartDone = EngineLife::RestartDone;

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
    using Meters = SystemStatus::Meters;

    explicit SystemModel(Options options, QObject* parent = nullptr);
    ~SystemModel() override;

    static constexpr const char* activeKey = EngineLife::activeKey;
    static constexpr const char* outputDeviceKey = OutputFollowing::outputDeviceKey;
    // Reads "--preview" and "--no-prime" (whole arguments, exact) into the options.
    static Options optionsFromArguments(const QStringList& arguments, Options options);
    static Options optionsFromArguments(const QStringList& arguments);

    // ---- Published state
    bool isActive() const { return status_.isActive(); }
    const LocalizedMessage& status() const { return status_.status(); }
    const std::optional<LocalizedMessage>& errorMessage() const { return status_.errorMessage(); }
    // The error line's text in the saved language; none without an error.
    std::optional<QString> error() const;
    bool canRestartAudioService() const { return status_.canRestartAudioService(); }
    const std::optional<SystemBoostEngine::Info>& info() const { return status_.info(); }
    const QRSystemIOStats& stats() const { return status_.stats(); }
    const Meters& meters() const { return status_.meters(); }
    bool needsPermission() const { return status_.needsPermission(); }
    const std::optional<QString>& outputDeviceUID() const { return output_.deviceUID(); }
    const std::vector<AudioDevices::OutputDevice>& outputDevices() const { return output_.devices(); }
    bool waitingForAudio() const { return status_.waitingForAudio(); }
    bool restartingAudioService() const { return status_.restartingAudioService(); }
    bool canOpenSoundSettings() const { return canOpenSoundSettings_; }
    bool isPreview() const { return options_.preview; }
    // The spectrum of the running chain; none while off.
    std::optional<SpectrumReading> spectrum() const;
    // Whether a view reads spectrum(): the chain analyses only while one does.
    void setSpectrumWanted(bool wanted);
    // The volume and mute of the chosen output (null without followVolume).
    SystemVolumeController* volume() const { return output_.volume(); }
    const DSPSettings& settings() const { return life_.settings(); }
    bool processed() const { return life_.processed(); }

    // Watchdog counters (diagnostics and tests).
    int primeKicks() const { return life_.watchdog().kicks(); }
    int silentStartRetries() const { return life_.watchdog().silentStartRetries(); }
    int stallRestarts() const { return life_.watchdog().stallRestarts(); }
    bool isRestartPending() const { return life_.isRestartPending(); }
    // Whether the refresh rests until the engine tells of a cycle or of an app playing.
    bool isResting() const { return refresh_.isResting(); }
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
    Options options_;
    UserDefaults store_;
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<SystemBoostEngine> engine_;  // the members below borrow it: made first, gone last
    SystemStatus status_;
    OutputFollowing output_;
    EngineLife life_;
    FlowRefresh refresh_;
    std::unique_ptr<SleepMonitor> sleepMonitor_;
    bool canOpenSoundSettings_ = false;
};

}  // namespace quorel
