#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>

#include <functional>

namespace quorel::test {

// Counts the emissions of one signal.
class SignalCounter {
public:
    template <typename Object, typename Signal>
    SignalCounter(Object* sender, Signal signal)
    {
        QObject::connect(sender, signal, &context_, [this] { ++count_; });
    }
    int count() const { return count_; }

private:
    QObject context_;
    int count_ = 0;
};

// Runs the event loop until `done` holds or `milliseconds` pass; returns `done()`.
inline bool processEventsUntil(const std::function<bool()>& done, int milliseconds = 20000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}

}  // namespace quorel::test
