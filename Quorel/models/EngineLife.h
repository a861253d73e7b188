#pragma once

#include "Clock.h"
#include "DSPSettings.h"
#include "DelayedRestart.h"
#include "LocalizedMessage.h"
#include "StallWatchdog.h"
#include "UserDefaults.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorel {

class CapturePrimer;
class OutputFollowing;
class SystemBoostEngine;
class SystemStatus;

// The engine's life: every start and stop, and every restart after them: the reconnections the
// watchdog and the engine's failures ask for (counted by the StallWatchdog, delayed by the
// DelayedRestart), the pause for sleep, the wait for a sound server or an output device that is
// not there yet, the sound-server restart and the shutdown. Owns the settings handed to the next
// start, the running start's number and the primer's kicks; borrows the engine, the status it
// publishes and the output it runs on. Main thread only.
class EngineLife : public QObject {
    Q_OBJECT
public:
    // Outcome of a sound-server restart: none on success, else the failure's text.
    using RestartDone = std::function<void(std::optional<QString> failure)>;

    struct Setup {
        UserDefaults store;
        std::shared_ptr<Clock> clock;
        std::shared_ptr<CapturePrimer> primer;
        bool preview = false;
        bool noPrime = false;
        std::function<void(RestartDone)> restartAudioService;  // none: systemctl
        std::function<void()> endRest;                         // before each start and stop
    };

    static constexpr const char* activeKey = "Corvanta.System.Active.v1";
    // The give-up after the third reconnection within the watchdog's window.
    static constexpr const char* repeatedStall =
        "System audio repeatedly stopped flowing. Use “Restart audio service” to resume processing automatically.";

    EngineLife(SystemBoostEngine& engine, SystemStatus& status, OutputFollowing& output, Setup setup);
    ~EngineLife() override;

    const DSPSettings& settings() const { return settings_; }
    bool processed() const { return processed_; }
    StallWatchdog& watchdog() { return watchdog_; }
    const StallWatchdog& watchdog() const { return watchdog_; }
    bool isRestartPending() const { return restart_.isPending(); }
    bool isStarting() const { return activation_ != 0; }

    // SystemModel's operations of the same names.
    void setActive(bool active);
    void shutdown();
    void configure(const DSPSettings& settings, bool processed);
    void restartAudioService();
    void willSleep();
    void didWake();
    void outputChanged();

    // Reconnects after `delay` seconds, showing `status` meanwhile; only while on (or resuming
    // after sleep).
    void scheduleRestart(const LocalizedMessage& status, double delay);
    // Stops with `error` on the error line.
    void fail(const LocalizedMessage& error);
    // Counts a stall now: reconnects while fewer than three fell in the window, else fails with
    // `giveUp`.
    void countStall(const LocalizedMessage& giveUp, bool afterFailedStart = false);
    void kickPrimer();
    // Reads the output devices; true when the sound server answered with at least one. Resumes
    // processing when it waited for them.
    bool readOutputDevices();

signals:
    void outputDevicesRead();
    void readyToSleep();

private:
    void activate();
    void deactivate(const LocalizedMessage& status, std::function<void()> teardownDone = {});
    // scheduleRestart without its guard: also after a reconnection's start failed.
    void restartLater(const LocalizedMessage& status, double delay);
    void engineFailed(const LocalizedMessage& failure);
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

    SystemBoostEngine& engine_;
    SystemStatus& status_;
    OutputFollowing& output_;
    Setup setup_;
    StallWatchdog watchdog_;
    DelayedRestart restart_;
    DSPSettings settings_;
    bool processed_ = true;
    uint64_t activation_ = 0;  // the running start's number; 0 = none
    uint64_t activations_ = 0;
    bool reconnecting_ = false;  // the running start is an automatic reconnection
    // The server was gone, or had no output device, when it failed or gave up: resume once it
    // answers with a device.
    bool awaitingServer_ = false;
    bool primeSilently_ = false;  // this run is a restart: kicks are counted, nothing plays
    bool resumeAfterWake_ = false;
    bool shutDown_ = false;
    std::unique_ptr<ClockTimer> serviceRestartWait_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quorel
