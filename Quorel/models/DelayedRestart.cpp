#include "DelayedRestart.h"

#include <utility>

namespace quorel {

DelayedRestart::DelayedRestart(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

void DelayedRestart::schedule(double delay, std::function<void()> restart)
{
    pending_ = true;
    timer_ = clock_->schedule(delay, [this, restart = std::move(restart)] {
        if (!pending_) return;
        pending_ = false;                           // the timer itself stays until replaced or cancelled
        const std::function<void()> run = restart;  // the restart may replace this timer
        run();
    });
}

void DelayedRestart::cancel()
{
    pending_ = false;
    timer_.reset();
}

}  // namespace quorel
