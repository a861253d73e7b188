#pragma once

#include <atomic>

namespace quorel {

// How readings cross from the render thread to the control thread: each reading of a state
// record is one std::atomic. (Parameters go the other way as one PublishedBlock per unit: the
// control thread validates, derives coefficients and publishes the whole block; the render
// thread acquires it once at the start of a call.)
//
// - Render thread: publishReading() with a release store at the end of a call (each reading
//   stands alone, so no total order over all of them is paid for: on x86 a plain move
//   instead of a locked exchange).
// - Control thread: loadReading() (an acquire load) for a snapshot, or takeReading() for a reading that
//   accumulates between reads (minimum gain, peak activity): the exchange puts the resting value
//   back, so each read reports what happened since the previous one. The render thread loads
//   such a reading at the start of a call and stores the updated value at its end; a take that
//   falls between the two is overwritten by that store, which is harmless for a running
//   minimum or maximum (the next read still reports it).
template <typename T>
inline void publishReading(std::atomic<T>& field, T value) noexcept
{
    field.store(value, std::memory_order_release);
}

template <typename T>
inline T loadReading(const std::atomic<T>& field) noexcept
{
    return field.load(std::memory_order_acquire);
}

template <typename T>
inline T takeReading(std::atomic<T>& field, T restingValue) noexcept
{
    return field.exchange(restingValue);
}

}  // namespace quorel
