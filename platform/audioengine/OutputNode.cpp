#include "OutputNode.h"

namespace quorel {

Status OutputNode::render(uint32_t frames, const AudioTimeStamp& timestamp,
                          AudioBufferList& output) noexcept
{
    const AudioBufferList* in = nullptr;
    const Status s = pullInput(0, frames, timestamp, in);
    if (s != status::ok) return s;
    copyChannels(*in, output, frames);
    return status::ok;
}

}  // namespace quorel
