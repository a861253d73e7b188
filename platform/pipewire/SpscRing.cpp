#include "SpscRing.h"

#include <algorithm>
#include <cstring>

namespace quorel::pipewire {

namespace {
uint32_t powerOfTwoAtLeast(uint32_t n)
{
    uint32_t p = 1;
    while (p < n) p <<= 1;
    return p;
}
}  // namespace

SpscRing::SpscRing(uint32_t channels, uint32_t minimumFrames)
    : channels_(std::max(channels, 1u)),
      capacity_(powerOfTwoAtLeast(std::max(minimumFrames, 1u))),
      samples_(size_t(capacity_) * channels_, 0.0f)
{
}

uint32_t SpscRing::readable() const
{
    return uint32_t(writePosition_.load(std::memory_order_acquire)
                    - readPosition_.load(std::memory_order_acquire));
}

uint32_t SpscRing::writable() const { return capacity_ - readable(); }

uint32_t SpscRing::write(const float* interleaved, uint32_t frames)
{
    const uint64_t w = writePosition_.load(std::memory_order_relaxed);
    const uint64_t r = readPosition_.load(std::memory_order_acquire);
    const uint32_t count = std::min(frames, capacity_ - uint32_t(w - r));
    const uint32_t start = uint32_t(w & (capacity_ - 1));
    const uint32_t first = std::min(count, capacity_ - start);
    float* base = samples_.data();
    if (interleaved) {
        std::memcpy(base + size_t(start) * channels_, interleaved,
                    size_t(first) * channels_ * sizeof(float));
        std::memcpy(base, interleaved + size_t(first) * channels_,
                    size_t(count - first) * channels_ * sizeof(float));
    } else {
        std::memset(base + size_t(start) * channels_, 0, size_t(first) * channels_ * sizeof(float));
        std::memset(base, 0, size_t(count - first) * channels_ * sizeof(float));
    }
    writePosition_.store(w + count, std::memory_order_release);
    return count;
}

uint32_t SpscRing::read(float* interleaved, uint32_t frames)
{
    const uint64_t r = readPosition_.load(std::memory_order_relaxed);
    const uint64_t w = writePosition_.load(std::memory_order_acquire);
    const uint32_t count = std::min(frames, uint32_t(w - r));
    const uint32_t start = uint32_t(r & (capacity_ - 1));
    const uint32_t first = std::min(count, capacity_ - start);
    const float* base = samples_.data();
    std::memcpy(interleaved, base + size_t(start) * channels_,
                size_t(first) * channels_ * sizeof(float));
    std::memcpy(interleaved + size_t(first) * channels_, base,
                size_t(count - first) * channels_ * sizeof(float));
    readPosition_.store(r + count, std::memory_order_release);
    return count;
}

uint32_t SpscRing::discard(uint32_t frames)
{
    const uint64_t r = readPosition_.load(std::memory_order_relaxed);
    const uint64_t w = writePosition_.load(std::memory_order_acquire);
    const uint32_t count = std::min(frames, uint32_t(w - r));
    readPosition_.store(r + count, std::memory_order_release);
    return count;
}

void SpscRing::clear()
{
    readPosition_.store(writePosition_.load(std::memory_order_acquire), std::memory_order_release);
}

}  // namespace quorel::pipewire
