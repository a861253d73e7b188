#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace quorel {

// The one way parameters cross from the control thread to the render thread: the control
// thread computes a whole block (plain values and whatever derives from them: filter
// coefficients, linear gains, time constants) and publishes it; the render thread picks up the
// newest block once, at the start of a render call, and uses it unchanged until the next call.
//
// A triple buffer: the writer fills its own slot, then swaps it with the slot in the middle and
// marks that fresh; the reader, when the middle slot is fresh, swaps it with its own. Neither
// side waits or allocates, a block is only ever read whole, and blocks published between two
// render calls collapse into the newest. One writer (the owner's thread; calls from different
// threads must be ordered by the owner's hand-overs) and one reader.
template <typename Block>
class PublishedBlock {
    static_assert(std::is_trivially_copyable_v<Block>, "a published block is copied as plain bytes");

public:
    explicit PublishedBlock(const Block& initial = Block{}) : slots_{initial, initial, initial}, latest_(initial) {}
    PublishedBlock(const PublishedBlock&) = delete;
    PublishedBlock& operator=(const PublishedBlock&) = delete;

    // Writer: the block published last (the starting point for a change).
    const Block& latest() const { return latest_; }

    // Writer: makes `block` the newest (once the last hold is released, while held).
    void publish(const Block& block)
    {
        latest_ = block;
        if (holds_ != 0) {
            withheld_ = true;
            return;
        }
        slots_[back_] = block;
        back_ = uint8_t(middle_.exchange(uint8_t(back_ | fresh), std::memory_order_acq_rel) & indexMask);
    }

    // Writer: blocks published between hold() and the matching release() reach the reader as
    // one, the last (holds nest).
    void hold() { ++holds_; }
    void release()
    {
        if (holds_ == 0 || --holds_ != 0 || !withheld_) return;
        withheld_ = false;
        publish(latest_);
    }

    // Reader: takes the newest block if one was published since the last call; true when it did.
    bool acquire() noexcept
    {
        if ((middle_.load(std::memory_order_relaxed) & fresh) == 0) return false;
        front_ = uint8_t(middle_.exchange(front_, std::memory_order_acq_rel) & indexMask);
        return true;
    }

    // Reader: the block taken last (the initial block before any was taken).
    const Block& current() const noexcept { return slots_[front_]; }

private:
    static constexpr uint8_t indexMask = 3, fresh = 4;

    Block slots_[3];
    Block latest_;           // writer
    uint32_t holds_ = 0;     // writer
    bool withheld_ = false;  // writer: published while held
    uint8_t back_ = 0;       // writer: the slot it fills
    uint8_t front_ = 1;      // reader: the slot it reads
    alignas(64) std::atomic<uint8_t> middle_{2};
};

}  // namespace quorel
