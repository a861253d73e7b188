#include "EffectNode.h"

namespace quorel {

EffectNode::EffectNode(std::unique_ptr<AudioUnit> unit) : unit_(std::move(unit)) {}

EffectNode::~EffectNode()
{
    if (unit_ && unit_->renderResourcesAllocated()) unit_->deallocateRenderResources();
}

UnitError EffectNode::allocate(uint32_t maximumFrames)
{
    if (unit_->renderResourcesAllocated()) unit_->deallocateRenderResources();
    const AudioFormat in = inputFormat(0);
    const AudioFormat out = outputFormat().channelCount ? outputFormat() : in;
    if (in.channelCount == 0) return UnitError::osStatus(status::noConnection);
    if (Status s = unit_->inputBus().setFormat(in)) return UnitError::osStatus(s);
    if (Status s = unit_->outputBus().setFormat(out)) return UnitError::osStatus(s);
    if (Status s = unit_->setMaximumFramesToRender(maximumFrames)) return UnitError::osStatus(s);
    if (UnitError e = unit_->allocateRenderResources()) return e;
    return AudioNode::allocate(maximumFrames);
}

void EffectNode::deallocate()
{
    unit_->deallocateRenderResources();
    AudioNode::deallocate();
}

Status EffectNode::render(uint32_t frames, const AudioTimeStamp& timestamp, AudioBufferList& output) noexcept
{
    // The unit pulls into the output buffers (or takes over its source's) and processes in place.
    auto pull = [this](RenderActionFlags&, const AudioTimeStamp& ts, uint32_t n, int64_t,
                       AudioBufferList& data) -> Status { return pullInputInPlace(0, n, ts, data); };
    RenderActionFlags flags = 0;
    return unit_->render(flags, timestamp, frames, 0, output, PullInput(pull));
}

}  // namespace quorel
