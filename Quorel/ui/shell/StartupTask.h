#pragma once

#include "StartupOptions.h"

#include <QObject>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace quorel {

class BoostModel;
class Clock;
class ClockTimer;
class UpdateChecker;

// What the application does once, at the first show of its main window: sets the application
// icon, starts the delayed update check (not in the design preview), runs the control
// self-check and quits ("--check-controls"), turns processing back on after 0.6 s ("--system"
// or the stored choice), and starts the diagnostic options: a statistics line every 2 s
// ("--log-stats"), the brand glyph as a PNG ("--export-glyph") and a window snapshot every 4 s
// ("--snapshot"). Runs once per process however often the window is shown. All waits are on
// the model's monotonic clock.
class StartupTask : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The control self-check; returns the exit status. Default: ControlChecks::run().
        std::function<int()> checkControls;
        // Ends the application with a status. Default: QCoreApplication::exit().
        std::function<void(int)> exit;
        // Writes the glyph PNG. Default: the brand's glyph export.
        std::function<bool(const QString&)> exportGlyph;
        // Saves a window snapshot. Default: WindowSnapshot::save().
        std::function<void(const QString&)> snapshot;
        // Where statistics lines without a file go. Default: standard output.
        std::FILE* standardOutput = nullptr;
        // Where a statistics file that cannot be written is told. Default: standard error.
        std::FILE* standardError = nullptr;
    };

    StartupTask(BoostModel& model, UpdateChecker& updater, StartupOptions options, QObject* parent = nullptr);
    StartupTask(BoostModel& model, UpdateChecker& updater, StartupOptions options, Hooks hooks,
                QObject* parent = nullptr);
    ~StartupTask() override;

    // Runs the task the first time; later calls do nothing.
    void start();
    bool started() const { return started_; }

    // Emits one statistics line now (to the file, or standard output when it cannot be written).
    void emitStatistics();

    static constexpr double activationDelay = 0.6;
    static constexpr double updateCheckDelay = 10;
    static constexpr double statisticsInterval = 2;
    static constexpr double snapshotInterval = 4;

private:
    void afterActivation();

    BoostModel& model_;
    UpdateChecker& updater_;
    StartupOptions options_;
    Hooks hooks_;
    std::shared_ptr<Clock> clock_;
    bool started_ = false;
    bool logRefusalTold_ = false;        // a statistics file in the way was told of
    std::optional<bool> choiceAtStart_;  // the stored on/off choice when the task was made
    std::unique_ptr<ClockTimer> updateTimer_;
    std::unique_ptr<ClockTimer> activationTimer_;
    std::unique_ptr<ClockTimer> statisticsTimer_;
    std::unique_ptr<ClockTimer> snapshotTimer_;
};

}  // namespace quorel
