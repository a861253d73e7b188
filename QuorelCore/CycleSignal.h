#pragma once

#include <atomic>

namespace quorel {

// Tells a waiting thread, once, that a real-time cycle ran: the waiting thread arms it, and the
// first cycle after that writes to an eventfd the waiting thread watches (a QSocketNotifier, a
// poll). The cycle pays one relaxed load while disarmed, and one exchange and one non-blocking
// write when armed: no lock, no allocation. So an idle main thread sleeps until sound comes
// instead of asking the real-time path again and again whether it did.
class CycleSignal {
public:
    CycleSignal();
    ~CycleSignal();
    CycleSignal(const CycleSignal&) = delete;
    CycleSignal& operator=(const CycleSignal&) = delete;

    // The descriptor that becomes readable once a cycle ran after arm(); -1 when the system gave
    // none (then nothing is ever told, and the waiting side must poll).
    int fd() const { return fd_; }

    // Waiting thread: the next cycle tells. Whatever was told before is taken away first.
    void arm();
    void disarm() { armed_.store(false, std::memory_order_relaxed); }
    bool isArmed() const { return armed_.load(std::memory_order_relaxed); }
    // Waiting thread: takes what was told; true when a cycle had told since it was last taken.
    bool take();

    // Real-time thread, at each cycle.
    void cycled()
    {
        if (armed_.load(std::memory_order_relaxed) && armed_.exchange(false, std::memory_order_acq_rel)) tell();
    }

private:
    void tell();

    int fd_ = -1;
    std::atomic<bool> armed_{false};
};

}  // namespace quorel
