#pragma once

#include "AudioNode.h"

namespace quorel {

// The end of the graph: what manual rendering hands to its caller.
class OutputNode : public AudioNode {
public:
    OutputNode() = default;

protected:
    Status render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept override;
};

}  // namespace quorel
