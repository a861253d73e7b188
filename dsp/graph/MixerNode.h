#pragma once

#include "AudioNode.h"
#include "PublishedBlock.h"

namespace quorel {

// Sums every connected input bus into its output format and scales by the output volume.
// A mono input reaches every output channel at unity gain; inputs must share the output's
// sample rate (no rate conversion).
class MixerNode : public AudioNode {
public:
    MixerNode() = default;

    // Owner's thread; taken by the render thread at its next call.
    void setOutputVolume(float volume);
    float outputVolume() const { return volume_.latest(); }

protected:
    UnitError allocate(uint32_t maximumFrames) override;
    Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept override;

private:
    PublishedBlock<float> volume_{1.0f};
    std::vector<float> scratch_;
    AudioBufferList scratchList_;
};

}  // namespace quorel
