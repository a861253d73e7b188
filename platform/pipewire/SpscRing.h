#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace quorel::pipewire {

// A lock-free single-producer, single-consumer ring of interleaved float frames. One thread
// writes, one other thread reads; neither ever blocks or allocates. Storage is allocated and
// touched in the constructor.
class SpscRing {
public:
    // Room for at least `minimumFrames` frames of `channels` samples (rounded up to a power
    // of two).
    SpscRing(uint32_t channels, uint32_t minimumFrames);

    uint32_t channels() const { return channels_; }
    uint32_t capacity() const { return capacity_; }

    // Frames the reader can take / the writer can add right now.
    uint32_t readable() const;
    uint32_t writable() const;

    // Producer side: copies up to `frames` frames (null `frames` of silence) and returns how
    // many fitted.
    uint32_t write(const float* interleaved, uint32_t frames);
    // Consumer side: copies up to `frames` frames and returns how many there were.
    uint32_t read(float* interleaved, uint32_t frames);

    // Consumer side: drops up to `frames` frames; returns how many were dropped.
    uint32_t discard(uint32_t frames);

    // Empties the ring. Only while neither side runs.
    void clear();

private:
    uint32_t channels_;
    uint32_t capacity_;  // frames, a power of two
    std::vector<float> samples_;
    alignas(64) std::atomic<uint64_t> writePosition_{0};
    alignas(64) std::atomic<uint64_t> readPosition_{0};
};

}  // namespace quorel::pipewire
