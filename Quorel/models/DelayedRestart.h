#pragma once

#include "Clock.h"

#include <functional>
#include <memory>

namespace quorel {

// One pending restart on the Clock: a newer one replaces it, cancel() drops it, and destroying
// this drops it too.
class DelayedRestart {
public:
    explicit DelayedRestart(std::shared_ptr<Clock> clock);

    // Runs `restart` once `delay` seconds have passed, unless replaced or cancelled before.
    void schedule(double delay, std::function<void()> restart);
    void cancel();
    bool isPending() const { return pending_; }

private:
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<ClockTimer> timer_;
    bool pending_ = false;
};

}  // namespace quorel
