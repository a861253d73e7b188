#include "PlayerNode.h"

#include "PCMBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

namespace quorel {

bool PlayerNode::scheduleBuffer(const PCMBuffer& buffer)
{
    const uint32_t channels = buffer.format().channelCount;
    if (outputFormat().channelCount != 0 && channels != outputFormat().channelCount) return false;
    if (queue_.size() != channels) {
        if (!queue_.empty() && position_ < queue_[0].size()) return false;
        queue_.assign(channels, {});
        position_ = 0;
    }
    for (uint32_t c = 0; c < channels; ++c)
        queue_[c].insert(queue_[c].end(), buffer.channel(c), buffer.channel(c) + buffer.frameLength());
    return true;
}

bool PlayerNode::scheduleChannels(std::vector<std::vector<float>>&& channels)
{
    const size_t count = channels.size();
    if (count == 0 || count > 8) return false;
    for (const std::vector<float>& c : channels)
        if (c.size() != channels[0].size()) return false;
    if (outputFormat().channelCount != 0 && count != outputFormat().channelCount) return false;
    if (queue_.empty() || position_ >= queue_[0].size()) {
        // The played-out buffers go back to the caller, whose next piece can reuse them.
        std::swap(queue_, channels);
        position_ = 0;
        return true;
    }
    if (queue_.size() != count) return false;
    for (size_t c = 0; c < count; ++c) {
        queue_[c].erase(queue_[c].begin(), queue_[c].begin() + std::ptrdiff_t(position_));
        queue_[c].insert(queue_[c].end(), channels[c].begin(), channels[c].end());
    }
    position_ = 0;
    return true;
}

void PlayerNode::stop()
{
    playing_.store(false);
    queue_.clear();
    position_ = 0;
}

Status PlayerNode::render(uint32_t frames, const AudioTimeStamp&, AudioBufferList& output) noexcept
{
    const size_t available =
        queue_.empty() || !playing_.load(std::memory_order_relaxed) ? 0 : queue_[0].size() - position_;
    const uint32_t n = uint32_t(std::min<size_t>(frames, available));
    for (uint32_t c = 0; c < output.numberBuffers; ++c) {
        float* dst = output.buffers[c].samples();
        if (n)
            std::memcpy(dst, queue_[std::min<size_t>(c, queue_.size() - 1)].data() + position_,
                        size_t(n) * sizeof(float));
        std::memset(dst + n, 0, size_t(frames - n) * sizeof(float));
    }
    position_ += n;
    return status::ok;
}

}  // namespace quorel
