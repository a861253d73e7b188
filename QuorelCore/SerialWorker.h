#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorel {

// One thread that runs the jobs posted to it one after the other, in the order they were
// posted. The engine runs every sound-server call that can wait here, so the main thread never
// does, and a start posted behind a stop begins only after the stop's teardown.
class SerialWorker {
public:
    SerialWorker();
    // Runs what is still queued, then ends the thread.
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> job);
    // Blocks until every job posted so far has run; false when `timeout` passed first.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;
    bool isIdle() const;

private:
    void run();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace quorel
