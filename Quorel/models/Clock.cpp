#include "Clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cmath>

namespace quorel {

namespace {

class SystemTimer final : public ClockTimer {
public:
    SystemTimer(double seconds, std::function<void()> action, bool repeats)
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(!repeats);
        QObject::connect(&timer_, &QTimer::timeout, [action = std::move(action)] { action(); });
        const double ms = std::isfinite(seconds) ? std::max(0.0, seconds * 1000) : 0.0;
        timer_.start(static_cast<int>(std::min(ms, 2.0e9)));
    }

private:
    QTimer timer_;
};

class SystemClock final : public Clock {
public:
    SystemClock() { elapsed_.start(); }
    double now() const override { return elapsed_.nsecsElapsed() / 1e9; }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTimeUtc(); }
    std::unique_ptr<ClockTimer> schedule(double seconds, std::function<void()> action, bool repeats) override
    {
        return std::make_unique<SystemTimer>(seconds, std::move(action), repeats);
    }

private:
    QElapsedTimer elapsed_;
};

}  // namespace

std::shared_ptr<Clock> Clock::system()
{
    static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace quorel
