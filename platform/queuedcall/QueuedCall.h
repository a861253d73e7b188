#pragma once

#include <QMetaObject>
#include <QObject>

#include <type_traits>
#include <utility>

// In a ThreadSanitizer build (gcc says so with __SANITIZE_THREAD__, clang with __has_feature)
// the hand-over below is annotated; elsewhere the annotations are nothing.
#if defined(__SANITIZE_THREAD__)
#define QUOREL_TSAN_ANNOTATE 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUOREL_TSAN_ANNOTATE 1
#endif
#endif
#ifdef QUOREL_TSAN_ANNOTATE
#include <sanitizer/tsan_interface.h>
#define QUOREL_TSAN_RELEASE(address) __tsan_release(address)
#define QUOREL_TSAN_ACQUIRE(address) __tsan_acquire(address)
#else
#define QUOREL_TSAN_RELEASE(address) static_cast<void>(address)
#define QUOREL_TSAN_ACQUIRE(address) static_cast<void>(address)
#endif

namespace quorel {

// A functor as Qt's event queue carries it to another thread. The queue's mutex and the call's
// reference count are inside libQt6Core, which is not instrumented, so ThreadSanitizer would see
// no order between the captures the poster wrote and the call that reads them. This says it:
// each copy, once made (Qt moves the functor into its call object), releases at its own address;
// the call acquires there and releases when done; the destructor, on whichever thread drops
// the last reference, acquires again.
template <typename Functor>
class HandedOverCall {
public:
    explicit HandedOverCall(Functor functor) : functor_(std::move(functor)) { QUOREL_TSAN_RELEASE(this); }
    HandedOverCall(const HandedOverCall& other) : functor_(other.functor_) { QUOREL_TSAN_RELEASE(this); }
    HandedOverCall(HandedOverCall&& other) noexcept(std::is_nothrow_move_constructible_v<Functor>)
        : functor_(std::move(other.functor_))
    {
        QUOREL_TSAN_RELEASE(this);
    }
    HandedOverCall& operator=(const HandedOverCall&) = delete;
    HandedOverCall& operator=(HandedOverCall&&) = delete;
    ~HandedOverCall() { QUOREL_TSAN_ACQUIRE(this); }

    void operator()()
    {
        QUOREL_TSAN_ACQUIRE(this);
        functor_();
        QUOREL_TSAN_RELEASE(this);
    }

private:
    Functor functor_;
};

// Any thread: calls `functor` on the thread of `receiver`, from its event loop (dropped when the
// receiver is destroyed first). What the functor captures is the call's own.
template <typename Functor>
void queuedCall(QObject* receiver, Functor functor)
{
    QMetaObject::invokeMethod(receiver, HandedOverCall<Functor>(std::move(functor)), Qt::QueuedConnection);
}

}  // namespace quorel
