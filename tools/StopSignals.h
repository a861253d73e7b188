#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace quorel::tool {

// SIGINT and SIGTERM end a running subcommand early, as cleanly as its time running out: the
// handler writes a byte to a pipe that the main thread watches, so the event loop sleeps until
// then instead of looking at a flag many times a second. The handlers are installed while this
// object lives (one at a time); `onStop` runs on the main thread at the first signal.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool requested() const { return requested_; }
    void setOnStop(std::function<void()> onStop) { onStop_ = std::move(onStop); }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onStop_;
    bool requested_ = false;
};

}  // namespace quorel::tool
