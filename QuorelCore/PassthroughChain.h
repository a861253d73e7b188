#pragma once

#include "EngineChain.h"

#include <atomic>

namespace quorel {

// A stand-in for the processing graph: the captured stereo with the Boost gain on the
// processed path, metered at its input and output. No latency.
class PassthroughChain : public EngineChain {
public:
    explicit PassthroughChain(InputBlock input);

    void apply(const DSPSettings& settings) override;
    void setPathGains(float dry, float wet) override;
    void prepare() override {}
    void start() override {}
    void stop() override {}
    Status render(uint32_t frames, AudioBufferList& output) override;
    MeterReading meter() override;
    SpectrumReading spectrum() override { return {}; }
    double reportedLatency() const override { return 0; }

    static Factory factory();

private:
    InputBlock input_;
    std::atomic<float> boost_{1};
    std::atomic<float> dry_{0};
    std::atomic<float> wet_{1};
    std::atomic<float> inputPeak_{0};
    std::atomic<float> outputPeak_{0};
};

}  // namespace quorel
