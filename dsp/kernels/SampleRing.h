#pragma once

#include <algorithm>
#include <cstdint>

namespace quorel {

// Block copies in and out of a ring of samples (delay lines).

// Copies `count` samples out of a ring of `capacity`, starting at `start`.
inline void readRing(const float* ring, uint32_t capacity, uint32_t start, float* destination, uint32_t count) noexcept
{
    const uint32_t first = std::min(count, capacity - start);
    std::copy_n(ring + start, first, destination);
    std::copy_n(ring, count - first, destination + first);
}

// Writes `count` samples into a ring of `capacity` at `position`; of more samples than the ring
// holds only the newest survive, where they would have been written one by one.
inline void writeRing(float* ring, uint32_t capacity, uint32_t position, const float* source, uint32_t count) noexcept
{
    if (count > capacity) {
        position = uint32_t((uint64_t(position) + count - capacity) % capacity);
        source += count - capacity;
        count = capacity;
    }
    const uint32_t first = std::min(count, capacity - position);
    std::copy_n(source, first, ring + position);
    std::copy_n(source + first, count - first, ring);
}

}  // namespace quorel
