#include "SerialWorker.h"

namespace quorel {

SerialWorker::SerialWorker() : thread_([this] { run(); }) {}

SerialWorker::~SerialWorker()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SerialWorker::post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

bool SerialWorker::waitUntilIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return jobs_.empty() && !busy_; });
}

bool SerialWorker::isIdle() const
{
    std::lock_guard lock(mutex_);
    return jobs_.empty() && !busy_;
}

void SerialWorker::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // ending, nothing left
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A job reports its own failures; one that escapes must not end the thread.
        }
        job = nullptr;
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace quorel
