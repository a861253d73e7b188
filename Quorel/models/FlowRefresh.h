#pragma once

#include "Clock.h"

#include <memory>

namespace quorel {

class EngineLife;
class OutputFollowing;
class SystemBoostEngine;
class SystemStatus;

// The 0.2 s refresh: reads the device list when due and, while processing runs, the engine's
// counters; lets the watchdog look at the flow (its verdicts carried out by the EngineLife) and
// steps the meters. While processing waits for audio with nothing left to do on time (no app
// plays, the meters rest, the primer's kicks are made), the refresh rests: the engine wakes it at
// the next cycle or when an app starts or stops playing. Owns the timer and the rest. Main thread
// only.
class FlowRefresh {
public:
    FlowRefresh(SystemBoostEngine& engine, EngineLife& life, SystemStatus& status, OutputFollowing& output,
                std::shared_ptr<Clock> clock, bool preview);
    ~FlowRefresh();

    // One step of the meters and the watchdog (the timer calls it); then rests when there is
    // nothing to do until audio comes.
    void refresh();
    // Ends a rest: the engine told of activity, or processing starts or stops.
    void endRest();
    // Whether the refresh rests until the engine tells of a cycle or of an app playing.
    bool isResting() const { return resting_; }

private:
    void start();
    // refresh() without the rest that follows it.
    void step();
    // The watchdog's look at the flow: false when this refresh has nothing more to do.
    bool watchFlow();
    void stepMeters();
    void restIfNothingToDo();

    SystemBoostEngine& engine_;
    EngineLife& life_;
    SystemStatus& status_;
    OutputFollowing& output_;
    std::shared_ptr<Clock> clock_;
    bool preview_;
    std::unique_ptr<ClockTimer> timer_;
    bool resting_ = false;  // the timer stopped until the engine tells of activity
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quorel
