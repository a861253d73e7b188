#pragma once

#include <pipewire/thread-loop.h>

namespace quorel::pipewire {

// Holds the thread loop's lock for a scope: every call into PipeWire objects owned by the loop
// from another thread goes through one.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

}  // namespace quorel::pipewire
