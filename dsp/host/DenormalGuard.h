#pragma once

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace quorel {

// Flushes denormal results and inputs to zero for the lifetime of the guard (one render call),
// so decaying filter memories never fall onto the slow denormal path.
class DenormalGuard {
public:
#if defined(__SSE__)
    DenormalGuard() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
    ~DenormalGuard() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#else
    DenormalGuard() noexcept = default;
#endif
public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

}  // namespace quorel
