#pragma once

#include "AudioNode.h"
#include "AudioUnit.h"

#include <memory>

namespace quorel {

// A node that hosts an effect unit: the unit pulls the node's input bus 0 and renders into the
// node's output. Bus formats and the frame limit are set from the connections when the engine
// prepares.
class EffectNode : public AudioNode {
public:
    explicit EffectNode(std::unique_ptr<AudioUnit> unit);
    ~EffectNode() override;

    AudioUnit* audioUnit() const { return unit_.get(); }
    double latency() const override { return unit_->latency(); }

protected:
    UnitError allocate(uint32_t maximumFrames) override;
    void deallocate() override;
    void reset() override { unit_->reset(); }
    Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept override;

private:
    std::unique_ptr<AudioUnit> unit_;
};

}  // namespace quorel
