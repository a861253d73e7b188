#include "FlowRefresh.h"

#include "EngineLife.h"
#include "MeterBallistics.h"
#include "OutputFollowing.h"
#include "SystemBoostEngine.h"
#include "SystemStatus.h"

#include <optional>
#include <utility>

namespace quorel {

namespace {

constexpr double refreshPeriod = 0.2;
constexpr double silentStartDelay = 5.0;

}  // namespace

FlowRefresh::FlowRefresh(SystemBoostEngine& engine, EngineLife& life, SystemStatus& status, OutputFollowing& output,
                         std::shared_ptr<Clock> clock, bool preview)
    : engine_(engine), life_(life), status_(status), output_(output), clock_(std::move(clock)), preview_(preview)
{
    start();
}

FlowRefresh::~FlowRefresh()
{
    alive_.reset();
    timer_.reset();
}

void FlowRefresh::start()
{
    std::weak_ptr<int> alive = alive_;
    timer_ = clock_->schedule(
        refreshPeriod,
        [this, alive] {
            if (alive.lock()) refresh();
        },
        true);
}

void FlowRefresh::refresh()
{
    step();
    restIfNothingToDo();
}

void FlowRefresh::restIfNothingToDo()
{
    if (resting_ || !status_.isActive() || preview_ || !status_.waitingForAudio() || life_.isRestartPending()
        || life_.isStarting())
        return;
    // The primer's second kick is still due.
    if (status_.stats().callbacks == 0 && life_.watchdog().kicksLeft()) return;
    if (!MeterBallistics::atRest(status_.meters())) return;
    std::weak_ptr<int> alive = alive_;
    if (!engine_.wakeOnActivity([this, alive] {
            if (alive.lock()) endRest();
        }))
        return;
    // Asked once the engine watches, so nothing that happens in between goes untold: a cycle
    // since the last reading, or an app that plays (or nobody can say).
    if (engine_.stats().callbacks != status_.stats().callbacks || engine_.isSourceRunningSomewhere() != false) {
        engine_.wakeOnActivity(nullptr);
        return;
    }
    resting_ = true;
    timer_.reset();
}

void FlowRefresh::endRest()
{
    if (!resting_) return;
    resting_ = false;
    engine_.wakeOnActivity(nullptr);
    // A stall counts from now: the app that starts playing gets the watchdog's whole 3 s.
    life_.watchdog().restartStallTime();
    start();
}

void FlowRefresh::step()
{
    if (output_.readDue()) life_.readOutputDevices();
    if (!status_.isActive() || preview_) return;

    status_.setStats(engine_.stats());
    if (!watchFlow()) return;
    if (status_.waitingForAudio()) {
        status_.setMeters(MeterBallistics::waiting(status_.meters()));
        return;
    }
    stepMeters();
}

bool FlowRefresh::watchFlow()
{
    using Verdict = StallWatchdog::Verdict;
    StallWatchdog& watchdog = life_.watchdog();
    const StallWatchdog::Look look =
        watchdog.look(status_.stats().callbacks, [this] { return engine_.isSourceRunningSomewhere(); });
    if (look.resumed) status_.leaveWaitingForAudio();
    switch (look.verdict) {
    case Verdict::carryOn: return true;
    case Verdict::cannotTell: break;
    case Verdict::waitForAudio:
        status_.enterWaitingForAudio();
        if (look.kickDue) life_.kickPrimer();
        break;
    case Verdict::stalled: life_.countStall(LocalizedMessage(EngineLife::repeatedStall)); break;
    case Verdict::retryStart:
        life_.scheduleRestart(
            LocalizedMessage("An app is playing, but no audio reaches Quorel; retrying in 5 s "
                             "({0} of 5). If this keeps up, the sound server (PipeWire) may need a restart.",
                             {QString::number(watchdog.silentStartRetries())}),
            silentStartDelay);
        break;
    case Verdict::giveUpStart:
        life_.fail(LocalizedMessage("The system did not deliver audio to Quorel. The sound server (PipeWire) may "
                                    "be stuck. Use “Restart audio service” to resume processing automatically."));
        status_.setNeedsPermission(true);
        break;
    }
    return false;
}

void FlowRefresh::stepMeters()
{
    const std::optional<MeterReading> reading = engine_.meter();
    if (!reading) return;
    status_.setMeters(MeterBallistics::step(status_.meters(), status_.stats().inputPeakDB(), *reading));
    if (reading->invalidSamples != 0)
        life_.fail(LocalizedMessage("Invalid samples were detected in system audio. Processing was stopped."));
}

}  // namespace quorel
