#include "ManualClock.h"

#include <cmath>
#include <limits>

namespace quorel {

class ManualTimer final : public ClockTimer {
public:
    ManualTimer(std::weak_ptr<ManualClock> clock, uint64_t id) : clock_(std::move(clock)), id_(id) {}
    ~ManualTimer() override
    {
        if (auto clock = clock_.lock()) clock->timers_.erase(id_);
    }

private:
    std::weak_ptr<ManualClock> clock_;
    uint64_t id_;
};

ManualClock::ManualClock(QDateTime start) : start_(std::move(start)) {}

QDateTime ManualClock::currentDateTime() const
{
    return start_.addMSecs(static_cast<qint64>(std::llround((now_ + dateOffset_) * 1000)));
}

std::unique_ptr<ClockTimer> ManualClock::schedule(double seconds, std::function<void()> action, bool repeats)
{
    const double delay = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const uint64_t id = nextID_++;
    timers_[id] = Entry{now_ + delay, delay, repeats, std::move(action)};
    return std::make_unique<ManualTimer>(weak_from_this(), id);
}

void ManualClock::advance(double seconds)
{
    const double end = now_ + std::max(0.0, seconds);
    for (;;) {
        // The earliest due timer (ties in the order they were scheduled).
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        if (next == timers_.end()) break;
        now_ = std::max(now_, next->second.due);
        std::function<void()> action = next->second.action;
        if (next->second.repeats && next->second.interval > 0)
            next->second.due += next->second.interval;
        else
            timers_.erase(next);
        action();  // may schedule or cancel timers, this one included
    }
    now_ = end;
}

void ManualClock::setDateTime(const QDateTime& dateTime) { dateOffset_ = start_.msecsTo(dateTime) / 1000.0 - now_; }

}  // namespace quorel
