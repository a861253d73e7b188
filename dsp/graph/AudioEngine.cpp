#include "AudioEngine.h"

#include "PCMBuffer.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace quorel {

AudioEngine::AudioEngine()
{
    for (AudioNode* node :
         {static_cast<AudioNode*>(&input_), static_cast<AudioNode*>(&mainMixer_), static_cast<AudioNode*>(&output_)})
        attach(*node);
}

// Nodes free their own resources; they may already be gone when the engine goes.
AudioEngine::~AudioEngine() = default;

void AudioEngine::attach(AudioNode& node)
{
    if (isAttached(node)) return;
    nodes_.push_back(&node);
    node.engine_ = this;
}

bool AudioEngine::isAttached(const AudioNode& node) const
{
    return std::find(nodes_.begin(), nodes_.end(), &node) != nodes_.end();
}

bool AudioEngine::connect(AudioNode& from, AudioNode& to, uint32_t fromBus, uint32_t toBus, const AudioFormat& format)
{
    return connect(from, {{&to, toBus}}, fromBus, format);
}

bool AudioEngine::connect(AudioNode& from, const std::vector<ConnectionPoint>& points, uint32_t fromBus,
                          const AudioFormat& format)
{
    if (fromBus != 0 || !isAttached(from) || running_.load()) return false;
    for (const ConnectionPoint& p : points)
        if (!p.node || !isAttached(*p.node) || p.node == &from) return false;
    from.outputFormat_ = format;
    for (const ConnectionPoint& p : points) {
        if (p.node->inputs_.size() <= p.bus) p.node->inputs_.resize(p.bus + 1);
        p.node->inputs_[p.bus] = {&from, format};
    }
    prepared_ = false;
    return true;
}

Status AudioEngine::enableManualRenderingMode(ManualRenderingMode mode, const AudioFormat& format,
                                              uint32_t maximumFrameCount)
{
    if (running_.load()) return status::initialized;
    if (!format.isStandard() || format.channelCount < 1 || format.channelCount > 2 || !(format.sampleRate > 0))
        return status::formatNotSupported;
    if (maximumFrameCount == 0) return status::parameterError;
    manual_ = true;
    mode_ = mode;
    format_ = format;
    maximumFrames_ = maximumFrameCount;
    output_.outputFormat_ = format;
    prepared_ = false;
    return status::ok;
}

void AudioEngine::collect(AudioNode& node, std::vector<AudioNode*>& order) const
{
    if (std::find(order.begin(), order.end(), &node) != order.end()) return;
    order.push_back(&node);  // marks the node before its inputs, so a cycle ends here
    for (const AudioNode::Connection& c : node.inputs_)
        if (c.source) collect(*c.source, order);
}

void AudioEngine::deallocateAll()
{
    for (AudioNode* node : allocated_) node->deallocate();
    allocated_.clear();
    prepared_ = false;
}

UnitError AudioEngine::prepare()
{
    if (!manual_) return UnitError::osStatus(status::uninitialized);
    if (running_.load()) return {};
    deallocateAll();
    std::vector<AudioNode*> order;
    collect(output_, order);
    for (AudioNode* node : order) {
        if (!isAttached(*node)) {
            deallocateAll();
            return UnitError::osStatus(status::noConnection);
        }
        if (UnitError e = node->allocate(maximumFrames_)) {
            deallocateAll();
            return e;
        }
        allocated_.push_back(node);
    }
    for (AudioNode* node : order) node->consumers_ = 0;
    for (AudioNode* node : order)
        for (const AudioNode::Connection& c : node->inputs_)
            if (c.source) ++c.source->consumers_;
    cycle_ = 0;
    sampleTime_ = 0;
    prepared_ = true;
    return {};
}

UnitError AudioEngine::start()
{
    if (!prepared_)
        if (UnitError e = prepare()) return e;
    running_.store(true);
    return {};
}

void AudioEngine::stop()
{
    // Pairs with renderCycle: either a render sees running_ false, or this sees it in flight.
    running_.store(false, std::memory_order_seq_cst);
    while (rendersInFlight_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
}

void AudioEngine::reset()
{
    for (AudioNode* node : allocated_) node->reset();
    sampleTime_ = 0;
}

ManualRenderingStatus AudioEngine::renderOffline(uint32_t frames, PCMBuffer& buffer, Status& error)
{
    error = status::ok;
    if (mode_ != ManualRenderingMode::offline) {
        error = status::cannotDoInCurrentContext;
        return ManualRenderingStatus::error;
    }
    if (frames > buffer.frameCapacity() || buffer.format().channelCount != format_.channelCount) {
        error = status::parameterError;
        return ManualRenderingStatus::error;
    }
    buffer.setFrameLength(frames);
    const ManualRenderingStatus result = renderCycle(frames, buffer.mutableAudioBufferList(), &error);
    if (result != ManualRenderingStatus::success) buffer.setFrameLength(0);
    return result;
}

ManualRenderingStatus AudioEngine::renderRealtime(uint32_t frames, AudioBufferList& output, Status* error) noexcept
{
    if (mode_ != ManualRenderingMode::realtime) {
        if (error) *error = status::cannotDoInCurrentContext;
        return ManualRenderingStatus::error;
    }
    return renderCycle(frames, output, error);
}

ManualRenderingStatus AudioEngine::renderCycle(uint32_t frames, AudioBufferList& output, Status* error) noexcept
{
    struct InFlight {
        std::atomic<int>& count;
        explicit InFlight(std::atomic<int>& c) : count(c) { count.fetch_add(1, std::memory_order_seq_cst); }
        ~InFlight() { count.fetch_sub(1, std::memory_order_release); }
    } inFlight(rendersInFlight_);
    if (!running_.load(std::memory_order_seq_cst) || !prepared_.load(std::memory_order_relaxed)) {
        if (error) *error = status::uninitialized;
        return ManualRenderingStatus::error;
    }
    if (frames > maximumFrames_) {
        if (error) *error = status::tooManyFramesToProcess;
        return ManualRenderingStatus::error;
    }
    if (output.numberBuffers != format_.channelCount) {
        if (error) *error = status::formatNotSupported;
        return ManualRenderingStatus::error;
    }
    for (uint32_t c = 0; c < output.numberBuffers; ++c)
        if (!output.buffers[c].data || output.buffers[c].dataByteSize < frames * sizeof(float)) {
            if (error) *error = status::parameterError;
            return ManualRenderingStatus::error;
        }
    ++cycle_;
    const AudioTimeStamp timestamp{sampleTime_, 0, 1};
    const AudioBufferList* rendered = nullptr;
    const Status s = output_.pull(cycle_, frames, timestamp, rendered);
    if (s != status::ok) {
        if (error) *error = s;
        return ManualRenderingStatus::error;
    }
    copyChannels(*rendered, output, frames);
    sampleTime_ += frames;
    if (mode_ == ManualRenderingMode::realtime && input_.renderedCycle_ == cycle_ && input_.wasShortOfData())
        return ManualRenderingStatus::insufficientDataFromInputNode;
    return ManualRenderingStatus::success;
}

}  // namespace quorel
