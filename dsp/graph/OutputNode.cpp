#include "OutputNode.h"

namespace quorel {

Status OutputNode::render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept
{
    return pullInputInPlace(0, frames, timestamp, output);
}

}  // namespace quorel
