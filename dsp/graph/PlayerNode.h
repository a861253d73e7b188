#pragma once

#include "AudioNode.h"

#include <atomic>
#include <vector>

namespace quorel {

class PCMBuffer;

// Plays scheduled buffers one after another while playing, then silence.
class PlayerNode : public AudioNode {
public:
    PlayerNode() = default;

    // Control thread, while the engine is not rendering. Copies the buffer's valid frames;
    // false when its channel count differs from the player's output connection.
    bool scheduleBuffer(const PCMBuffer& buffer);
    // The same for whole channels (1 to 8 of one length), taken over without a copy when nothing
    // is left to play (the caller gets the played-out buffers back): an offline render of a long
    // file then holds its input once. Otherwise frames already played are dropped first, so a
    // render fed piece by piece holds about one piece.
    bool scheduleChannels(std::vector<std::vector<float>>&& channels);
    // Control thread, while the engine is not rendering: scheduled frames not yet played.
    size_t framesLeft() const { return queue_.empty() ? 0 : queue_[0].size() - position_; }
    void play() { playing_.store(true); }
    // Stops and drops everything scheduled.
    void stop();
    bool isPlaying() const { return playing_.load(); }

protected:
    Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept override;

private:
    std::vector<std::vector<float>> queue_;  // per channel, every scheduled frame in order
    size_t position_ = 0;
    std::atomic<bool> playing_{false};
};

}  // namespace quorel
