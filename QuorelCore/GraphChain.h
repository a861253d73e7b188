#pragma once

#include "EngineChain.h"

#include <memory>

namespace quorel {

class AudioGraph;

// The engine's chain: the AudioGraph in real-time manual rendering, fed by the capture.
class GraphChain : public EngineChain {
public:
    GraphChain(uint32_t channels, double sampleRate, InputBlock input);
    ~GraphChain() override;

    void apply(const DSPSettings& settings) override;
    void setPathGains(float dry, float wet) override;
    void prepare() override;
    void start() override;
    void stop() override;
    Status render(uint32_t frames, AudioBufferList& output) override;
    void restart() noexcept override;
    MeterReading meter() override;
    SpectrumReading spectrum() override;
    void setSpectrumWanted(bool wanted) override;
    double reportedLatency() const override;

    static Factory factory();

private:
    std::unique_ptr<AudioGraph> graph_;
};

}  // namespace quorel
