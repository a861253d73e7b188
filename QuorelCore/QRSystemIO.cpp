#include "QRSystemIO.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

// A mono buffer of exactly `frames` samples.
bool isPlanar(const AudioBuffer& buffer, uint32_t frames)
{
    return buffer.data && buffer.numberChannels <= 1 && buffer.dataByteSize == frames * uint32_t(sizeof(float));
}

void silence(AudioBufferList& output)
{
    for (uint32_t b = 0; b < std::min(output.numberBuffers, AudioBufferList::maximumBuffers); ++b)
        if (output.buffers[b].data) std::memset(output.buffers[b].data, 0, output.buffers[b].dataByteSize);
}

// The frames of one cycle: those of the device's first output buffer (0 without one).
uint32_t cycleFrames(const AudioBufferList* output)
{
    if (!output || output->numberBuffers == 0) return 0;
    const AudioBuffer& first = output->buffers[0];
    return first.dataByteSize / (4 * std::max(first.numberChannels, 1u));
}

// Copies `count` of the `stride` interleaved channels of `samples` (sanitized) into `to`;
// returns their peak.
float copyChannels(const float* samples, uint32_t stride, uint32_t frames, float* const* to, uint32_t count)
{
    float peak = 0;
    for (uint32_t j = 0; j < count; ++j) {
        for (uint32_t i = 0; i < frames; ++i) {
            const float v = finiteOrZero(samples[j + size_t(i) * stride]);
            to[j][i] = v;
            peak = std::max(peak, std::fabs(v));
        }
    }
    return peak;
}

// The peak of `count` channels of `frames` samples.
float peakOf(const float* const* channels, uint32_t count, uint32_t frames)
{
    float peak = 0;
    for (uint32_t c = 0; c < count; ++c)
        for (uint32_t i = 0; i < frames; ++i) peak = std::max(peak, std::fabs(channels[c][i]));
    return peak;
}

// Writes the rendered stereo into the `stride` interleaved channels of `samples`, the first of
// which is the device's channel `base`: on a mono device their mix, else left and right on the
// first two channels and silence on the others. Returns the peak written.
float writeChannels(float* samples, uint32_t stride, uint32_t frames, uint32_t base, const float* left,
                    const float* right, bool mono)
{
    float peak = 0;
    for (uint32_t j = 0; j < stride; ++j) {
        const uint32_t k = base + j;
        for (uint32_t i = 0; i < frames; ++i) {
            float v;
            if (mono)
                v = (left[i] + right[i]) * 0.5f;
            else
                v = k == 0 ? left[i] : k == 1 ? right[i] : 0.0f;
            samples[j + size_t(i) * stride] = v;
            peak = std::max(peak, std::fabs(v));
        }
    }
    return peak;
}
}  // namespace

// What the running procedure sees: the object and the render block it was started with.
struct QRSystemIO::Callback {
    QRSystemIO* io;
    RenderBlock render;

    static void run(void* context, const AudioBufferList* input, AudioBufferList* output, bool resumed)
    {
        auto* self = static_cast<Callback*>(context);
        self->io->cycle(self->render, input, output, resumed);
    }
};

std::unique_ptr<QRSystemIO> QRSystemIO::create(uint32_t channels, uint32_t outputChannels, uint32_t maximumFrames)
{
    if (channels < 1 || channels > 2 || maximumFrames < 1 || maximumFrames > 65536) return nullptr;
    try {
        return std::unique_ptr<QRSystemIO>(new QRSystemIO(channels, outputChannels, maximumFrames));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

QRSystemIO::QRSystemIO(uint32_t channels, uint32_t outputChannels, uint32_t maximumFrames)
    : inputChannels_(channels), outputChannels_(outputChannels), maximumFrames_(maximumFrames),
      inputStorage_(size_t(channels) * maximumFrames, 0.0f),
      renderedStorage_(size_t(renderChannels) * maximumFrames, 0.0f)
{
    inputList_.numberBuffers = inputChannels_;
    renderList_.numberBuffers = renderChannels;
}

QRSystemIO::~QRSystemIO() { stop(); }

const AudioBufferList* QRSystemIO::input(uint32_t frames)
{
    if (frames == 0 || uint64_t(consumed_) + frames > available_) return nullptr;
    for (uint32_t c = 0; c < inputChannels_; ++c) {
        inputList_.buffers[c].numberChannels = 1;
        inputList_.buffers[c].data = inputStorage_.data() + size_t(c) * maximumFrames_ + consumed_;
        inputList_.buffers[c].dataByteSize = frames * uint32_t(sizeof(float));
    }
    consumed_ += frames;
    return &inputList_;
}

bool QRSystemIO::start(QRAudioDevice& device, Status& error)
{
    if (procID_ != 0) return true;
    if (!renderBlock_.function) {
        error = status::uninitialized;
        return false;
    }
    auto callback = std::make_unique<Callback>(Callback{this, renderBlock_});
    uint64_t id = 0;
    const Status created = device.createIOProc(&Callback::run, callback.get(), id);
    if (created != status::ok || id == 0) {
        error = created != status::ok ? created : status::unspecified;
        return false;
    }
    const Status started = device.startIOProc(id);
    if (started != status::ok) {
        device.destroyIOProc(id);
        error = started;
        return false;
    }
    callback_ = std::move(callback);
    device_ = &device;
    procID_ = id;
    return true;
}

void QRSystemIO::stop()
{
    if (procID_ == 0) return;
    device_->stopIOProc(procID_);
    device_->destroyIOProc(procID_);
    procID_ = 0;
    device_ = nullptr;
    callback_.reset();
}

QRSystemIOStats QRSystemIO::stats() const
{
    QRSystemIOStats s;
    s.callbacks = callbacks_.load(std::memory_order_relaxed);
    s.renderedFrames = renderedFrames_.load(std::memory_order_relaxed);
    s.renderErrors = renderErrors_.load(std::memory_order_relaxed);
    s.inputMismatches = inputMismatches_.load(std::memory_order_relaxed);
    s.outputMismatches = outputMismatches_.load(std::memory_order_relaxed);
    s.oversizedBuffers = oversizedBuffers_.load(std::memory_order_relaxed);
    s.inputPeak = inputPeak_.load(std::memory_order_relaxed);
    s.outputPeak = outputPeak_.load(std::memory_order_relaxed);
    return s;
}

void QRSystemIO::cycle(const RenderBlock& render, const AudioBufferList* input, AudioBufferList* output, bool resumed)
{
    callbacks_.fetch_add(1, std::memory_order_relaxed);
    cycleSignal_.cycled();
    if (resumed && render.restart) render.restart(render.context);
    const uint32_t n = cycleFrames(output);
    if (n == 0) return;
    if (n > maximumFrames_) {
        silence(*output);
        oversizedBuffers_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    capture(input, n);
    const bool direct = outputChannels_ == 2 && std::min(output->numberBuffers, AudioBufferList::maximumBuffers) == 2
                        && isPlanar(output->buffers[0], n) && isPlanar(output->buffers[1], n);
    if (!renderCycle(render, *output, n, direct)) {
        silence(*output);
        renderErrors_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // The renderer may have pointed the list at buffers of its own.
    const float* rendered[renderChannels];
    for (uint32_t c = 0; c < renderChannels; ++c)
        rendered[c] = renderList_.buffers[c].data ? renderList_.buffers[c].samples()
                                                  : renderedStorage_.data() + size_t(c) * maximumFrames_;
    if (direct && rendered[0] == output->buffers[0].data && rendered[renderChannels - 1] == output->buffers[1].data)
        outputPeak_.store(peakOf(rendered, renderChannels, n), std::memory_order_relaxed);
    else
        play(rendered[0], rendered[renderChannels - 1], *output, n);
    renderedFrames_.fetch_add(n, std::memory_order_relaxed);
}

// Capture: each channel is copied (sanitized) from the device, and what no buffer covered is
// silence.
void QRSystemIO::capture(const AudioBufferList* input, uint32_t n)
{
    float* in[2] = {inputStorage_.data(), inputStorage_.data() + (inputChannels_ - 1) * size_t(maximumFrames_)};
    uint32_t covered[2] = {0, 0};
    if (!input || input->numberBuffers == 0) {
        inputMismatches_.fetch_add(1, std::memory_order_relaxed);
        inputPeak_.store(0, std::memory_order_relaxed);
    } else {
        uint32_t c = 0;
        float peak = 0;
        bool mismatch = false;
        const uint32_t inputBuffers = std::min(input->numberBuffers, AudioBufferList::maximumBuffers);
        for (uint32_t b = 0; b < inputBuffers && c < inputChannels_; ++b) {
            const AudioBuffer& buffer = input->buffers[b];
            const uint32_t s = std::max(buffer.numberChannels, 1u);
            const uint32_t m = buffer.dataByteSize / (4 * s);
            if (m == 0 || !buffer.data) continue;
            if (m != n) mismatch = true;
            const uint32_t k = std::min(m, n);
            const uint32_t count = std::min(s, inputChannels_ - c);
            peak = std::max(peak, copyChannels(static_cast<const float*>(buffer.data), s, k, in + c, count));
            for (uint32_t j = 0; j < count; ++j) covered[c + j] = k;
            c += count;
        }
        if (inputChannels_ == 2 && c == 1) {
            std::memcpy(in[1], in[0], covered[0] * sizeof(float));
            covered[1] = covered[0];
        }
        if (c == 0 || mismatch) inputMismatches_.fetch_add(1, std::memory_order_relaxed);
        inputPeak_.store(peak, std::memory_order_relaxed);
    }

    for (uint32_t c = 0; c < inputChannels_; ++c)
        if (covered[c] < n) std::memset(in[c] + covered[c], 0, (n - covered[c]) * sizeof(float));
}

// Render: straight into the device's buffers where they are the two planar channels the engine
// renders (`direct`: nothing to copy after), else into our own. False when the render failed.
bool QRSystemIO::renderCycle(const RenderBlock& render, AudioBufferList& output, uint32_t n, bool direct)
{
    available_ = n;
    consumed_ = 0;
    for (uint32_t c = 0; c < renderChannels; ++c) {
        renderList_.buffers[c].numberChannels = 1;
        renderList_.buffers[c].data =
            direct ? output.buffers[c].data : renderedStorage_.data() + size_t(c) * maximumFrames_;
        renderList_.buffers[c].dataByteSize = n * uint32_t(sizeof(float));
    }
    return render.function && render.function(render.context, n, renderList_) == status::ok;
}

// Output: the rendered stereo mapped onto the device's buffers, what lies beyond the cycle's
// frames silenced.
void QRSystemIO::play(const float* left, const float* right, AudioBufferList& output, uint32_t n)
{
    const uint32_t outputBuffers = std::min(output.numberBuffers, AudioBufferList::maximumBuffers);
    uint32_t base = 0;
    float peak = 0;
    bool mismatch = false;
    for (uint32_t b = 0; b < outputBuffers; ++b) {
        AudioBuffer& buffer = output.buffers[b];
        if (!buffer.data) continue;
        const uint32_t s = std::max(buffer.numberChannels, 1u);
        const uint32_t m = buffer.dataByteSize / (4 * s);
        const uint32_t w = std::min(m, n);
        float* samples = buffer.samples();
        peak = std::max(peak, writeChannels(samples, s, w, base, left, right, outputChannels_ == 1));
        if (m != n) mismatch = true;
        if (m > n) std::memset(samples + size_t(w) * s, 0, buffer.dataByteSize - size_t(w) * s * sizeof(float));
        base += s;
    }
    if (mismatch) outputMismatches_.fetch_add(1, std::memory_order_relaxed);
    outputPeak_.store(peak, std::memory_order_relaxed);
}

}  // namespace quorel
