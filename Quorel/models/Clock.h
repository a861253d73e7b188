#pragma once

#include <QDateTime>

#include <functional>
#include <memory>

namespace quorel {

// A pending timer from Clock::schedule; destroying it cancels the timer.
class ClockTimer {
public:
    virtual ~ClockTimer() = default;
};

// All the time the models read or wait for goes through one Clock: the system clock in the
// application, a ManualClock in tests, which then run seconds of model time without sleeping.
// Main thread only.
class Clock {
public:
    virtual ~Clock() = default;

    // Seconds on a monotonic scale (only differences mean anything).
    virtual double now() const = 0;
    // The wall-clock date and time.
    virtual QDateTime currentDateTime() const = 0;
    // Runs `action` on the main thread once `seconds` have passed, and again every `seconds`
    // when `repeats`, until the returned timer is destroyed.
    [[nodiscard]] virtual std::unique_ptr<ClockTimer> schedule(double seconds, std::function<void()> action,
                                                               bool repeats = false) = 0;

    // The process's real clock (QTimer and the monotonic timer).
    static std::shared_ptr<Clock> system();
};

}  // namespace quorel
