#include "StallWatchdog.h"

#include <utility>

namespace quorel {

namespace {

constexpr double stallTime = 3.0;        // seconds without a new cycle, after one
constexpr double stallWindow = 300.0;    // stall restarts younger than this count
constexpr double silentStartTime = 2.0;  // seconds after a start with no cycle at all
constexpr double secondKickTime = 4.0;   // the primer's second kick, after the start

}  // namespace

StallWatchdog::StallWatchdog(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

void StallWatchdog::started()
{
    startedAt_ = clock_->now();
    lastCallbackCount_ = 0;
    lastProgress_ = clock_->now();
}

void StallWatchdog::restartStallTime() { lastProgress_ = clock_->now(); }

StallWatchdog::Look StallWatchdog::look(uint64_t callbacks, const PlayingQuery& playing)
{
    const double now = clock_->now();
    Look look;
    if (callbacks == lastCallbackCount_) {
        if (callbacks > 0 && now - lastProgress_ > stallTime) {
            const std::optional<bool> plays = playing();
            if (plays == false) {
                lastProgress_ = now;
                look.verdict = Verdict::waitForAudio;
            } else {
                // Nobody can say (the sound server does not answer): the graph stops whenever
                // nothing plays, so that is no stall; the fault watch tells a server that went away.
                look.verdict = plays ? Verdict::stalled : Verdict::cannotTell;
            }
            return look;
        }
    } else {
        look.resumed = true;
        lastCallbackCount_ = callbacks;
        lastProgress_ = now;
    }
    if (callbacks == 0 && startedAt_ && now - *startedAt_ > silentStartTime)
        look.verdict = lookAtSilentStart(now, playing, look.kickDue);
    return look;
}

StallWatchdog::Verdict StallWatchdog::lookAtSilentStart(double now, const PlayingQuery& playing, bool& kickDue)
{
    const std::optional<bool> plays = playing();
    // Nobody can say (the sound server does not answer): the fault watch tells a lost server.
    if (!plays) return Verdict::cannotTell;
    if (!*plays) {
        kickDue = kicksLeft() && now - *startedAt_ > secondKickTime;
        return Verdict::waitForAudio;
    }
    if (silentStartRetries_ >= silentStartLimit) return Verdict::giveUpStart;
    ++silentStartRetries_;
    return Verdict::retryStart;
}

std::optional<int> StallWatchdog::countStall()
{
    const double now = clock_->now();
    std::erase_if(stallRestarts_, [now](double date) { return now - date >= stallWindow; });
    if (stallRestarts_.size() >= stallLimit) return std::nullopt;
    stallRestarts_.push_back(now);
    return int(stallRestarts_.size());
}

void StallWatchdog::clearRetries()
{
    stallRestarts_.clear();
    silentStartRetries_ = 0;
}

void StallWatchdog::reset()
{
    clearRetries();
    kicks_ = 0;
}

}  // namespace quorel
