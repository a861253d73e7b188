#pragma once

#include "AudioNode.h"

#include <functional>

namespace quorel {

// The engine's source in real-time manual rendering: each cycle it asks the input block for
// that many frames of the source format. Missing frames (a null list or short buffers) are
// rendered as silence, and the engine reports the cycle as short of input data.
class InputNode : public AudioNode {
public:
    using InputBlock = std::function<const AudioBufferList*(uint32_t frames)>;

    InputNode() = default;

    // Control thread. False for a format that is not deinterleaved 32-bit float with 1 to 8
    // channels at a positive rate, or an empty block.
    bool setManualRenderingInputPCMFormat(const AudioFormat& format, InputBlock block);
    const AudioFormat& manualRenderingInputFormat() const { return format_; }
    bool hasInputBlock() const { return bool(block_); }

    // Render thread: whether the last cycle lacked input frames.
    bool wasShortOfData() const { return short_; }

protected:
    Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept override;

private:
    AudioFormat format_{};
    InputBlock block_;
    bool short_ = false;
};

}  // namespace quorel
