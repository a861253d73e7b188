#pragma once

#include "Clock.h"

#include <QTimeZone>

#include <cstdint>
#include <map>
#include <memory>

namespace quorel {

// A clock that moves only when told: advance() fires every timer that falls due on the way, in
// order of their due times. For tests and for tools that replay model time.
class ManualClock final : public Clock, public std::enable_shared_from_this<ManualClock> {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0), QTimeZone::utc()));

    double now() const override { return now_; }
    QDateTime currentDateTime() const override;
    std::unique_ptr<ClockTimer> schedule(double seconds, std::function<void()> action, bool repeats = false) override;

    // Moves time forward by `seconds`, running what falls due.
    void advance(double seconds);
    // Sets the wall-clock date without moving the monotonic time.
    void setDateTime(const QDateTime& dateTime);
    // Timers still waiting.
    size_t pendingTimers() const { return timers_.size(); }

private:
    struct Entry {
        double due = 0;
        double interval = 0;
        bool repeats = false;
        std::function<void()> action;
    };
    friend class ManualTimer;

    double now_ = 0;
    QDateTime start_;
    double dateOffset_ = 0;
    uint64_t nextID_ = 1;
    std::map<uint64_t, Entry> timers_;
};

}  // namespace quorel
