#pragma once

// The engine's chain behind QRSystemIO, driven the way the PipeWire backend's filter drives it
// (planar port buffers -> the device's procedure -> QRSystemIO -> the chain's input block and
// render -> the port buffers), with every effect on and nobody reading the spectrum: the
// settings live-overhead plays with. Shared by bench_live_path (timed in a loop) and
// bench_live_filter (timed inside a live filter's cycle).

#include "DSPSettings.h"
#include "EveryEffect.h"
#include "GraphChain.h"
#include "QRSystemIO.h"

#include <cstdint>
#include <memory>

namespace quorel::bench {

class LiveChain {
public:
    static constexpr uint32_t channels = 2;

    explicit LiveChain(double rate)
        : io_(QRSystemIO::create(channels, channels, 4096)),
          chain_(channels, rate, [io = io_.get()](uint32_t count) { return io->input(count); })
    {
        chain_.apply(everyEffect());
        chain_.setSpectrumWanted(false);
        chain_.prepare();
        chain_.start();
        io_->setRenderBlock({&render, &chain_, nullptr});
        Status error = 0;
        io_->start(device_, error);
    }
    ~LiveChain()
    {
        io_->stop();
        chain_.stop();
    }
    LiveChain(const LiveChain&) = delete;
    LiveChain& operator=(const LiveChain&) = delete;

    // What the backend's process callback does with the port buffers of one cycle.
    void cycle(const float* const* in, float* const* out, uint32_t frames)
    {
        AudioBufferList input;
        input.numberBuffers = channels;
        AudioBufferList output;
        output.numberBuffers = channels;
        for (uint32_t c = 0; c < channels; ++c) {
            input.buffers[c] = {1, frames * uint32_t(sizeof(float)), const_cast<float*>(in[c])};
            output.buffers[c] = {1, frames * uint32_t(sizeof(float)), out[c]};
        }
        device_.proc(device_.context, &input, &output, false);
    }

private:
    // The device side as the PipeWire backend is: the procedure gets one mono buffer per port.
    struct PortDevice : QRAudioDevice {
        IOProc proc = nullptr;
        void* context = nullptr;
        Status createIOProc(IOProc p, void* c, uint64_t& id) override
        {
            proc = p;
            context = c;
            id = 1;
            return 0;
        }
        Status startIOProc(uint64_t) override { return 0; }
        void stopIOProc(uint64_t) override {}
        void destroyIOProc(uint64_t) override { proc = nullptr; }
    };

    static Status render(void* context, uint32_t frames, AudioBufferList& output)
    {
        return static_cast<EngineChain*>(context)->render(frames, output);
    }

    std::unique_ptr<QRSystemIO> io_;
    GraphChain chain_;
    PortDevice device_;
};

}  // namespace quorel::bench
