#include "InputNode.h"

#include <algorithm>
#include <cstring>

namespace quorel {

bool InputNode::setManualRenderingInputPCMFormat(const AudioFormat& format, InputBlock block)
{
    if (!block || !format.isStandard() || format.channelCount == 0
        || format.channelCount > AudioBufferList::maximumBuffers || !(format.sampleRate > 0))
        return false;
    format_ = format;
    block_ = std::move(block);
    return true;
}

Status InputNode::render(uint32_t frames, const AudioTimeStamp&, AudioBufferList& output) noexcept
{
    const AudioBufferList* list = block_ ? block_(frames) : nullptr;
    short_ = false;
    for (uint32_t c = 0; c < output.numberBuffers; ++c) {
        float* dst = output.buffers[c].samples();
        uint32_t n = 0;
        if (list && list->numberBuffers > 0) {
            const AudioBuffer& src = list->buffers[std::min(c, list->numberBuffers - 1)];
            if (src.data) {
                n = std::min<uint32_t>(frames, src.dataByteSize / uint32_t(sizeof(float)));
                std::memcpy(dst, src.data, size_t(n) * sizeof(float));
            }
        }
        if (n < frames) {
            std::memset(dst + n, 0, size_t(frames - n) * sizeof(float));
            short_ = true;
        }
    }
    return status::ok;
}

}  // namespace quorel
