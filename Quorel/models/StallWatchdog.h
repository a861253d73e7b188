#pragma once

#include "Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorel {

// The watch over the audio flow of a running start, looked at once a refresh, with its retry
// counts, on the Clock:
// - a stall: cycles came, then none for 3 s while an app plays. Each stall is one reconnection;
//   a fourth within 5 minutes gives up.
// - a silent start: no cycle at all 2 s after the start while an app plays. Up to five retries,
//   then it gives up. With no app playing, processing waits for audio, and the capture primer's
//   second kick falls due 4 s after the start.
// Whether an app plays is asked only when the answer decides something.
class StallWatchdog {
public:
    enum class Verdict {
        carryOn,       // nothing to do about the flow: the meters may be read
        cannotTell,    // nobody can say whether an app plays: nothing to do this refresh
        waitForAudio,  // nothing plays: processing waits for audio
        stalled,       // the flow stopped while an app plays: a stall to count (countStall)
        retryStart,    // an app plays and no cycle came: another start (silentStartRetries() says which)
        giveUpStart,   // the same, with the retries used up
    };
    struct Look {
        bool resumed = false;  // cycles came since the last look
        Verdict verdict = Verdict::carryOn;
        bool kickDue = false;  // with waitForAudio: the primer's next kick is due
    };
    // Whether another application plays into the capture; none when nobody can say.
    using PlayingQuery = std::function<std::optional<bool>()>;

    static constexpr int kickLimit = 2;
    static constexpr int silentStartLimit = 5;
    static constexpr size_t stallLimit = 3;

    explicit StallWatchdog(std::shared_ptr<Clock> clock);

    // A start succeeded now: no cycle seen yet.
    void started();
    // The stall time counts from now (the refresh resumes after a rest).
    void restartStallTime();
    // One refresh's look at the device's cycle count.
    Look look(uint64_t callbacks, const PlayingQuery& playing);
    // Counts a stall now: the reconnection's number (1...3) while fewer than three fell in the
    // last 5 minutes, else none (give up).
    std::optional<int> countStall();
    // The capture primer was kicked.
    void countKick() { ++kicks_; }
    // Whether the primer has kicks left (a second is due while no cycle came).
    bool kicksLeft() const { return kicks_ < kickLimit; }

    int kicks() const { return kicks_; }
    int silentStartRetries() const { return silentStartRetries_; }
    int stallRestarts() const { return int(stallRestarts_.size()); }

    // Forgets the stalls and the silent-start retries (a fresh start with fresh counts).
    void clearRetries();
    // clearRetries, and the primer's kicks too (the user's own choice).
    void reset();

private:
    Verdict lookAtSilentStart(double now, const PlayingQuery& playing, bool& kickDue);

    std::shared_ptr<Clock> clock_;
    uint64_t lastCallbackCount_ = 0;
    double lastProgress_ = 0;
    std::optional<double> startedAt_;
    std::vector<double> stallRestarts_;
    int silentStartRetries_ = 0;
    int kicks_ = 0;
};

}  // namespace quorel
