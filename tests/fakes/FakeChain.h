#pragma once

#include "EngineChain.h"

#include <memory>
#include <mutex>

namespace quorel::test {

// What the engine told a FakeChain, and how the chain is to behave. The engine writes it on its
// worker, the test reads and sets it while no start, stop or apply is under way.
struct ChainProbe {
    uint32_t channels = 0;  // of the capture, at the last start
    double sampleRate = 0;
    float dry = -1, wet = -1;  // the last path gains (-1: none yet)
    int applies = 0;
    float lastBoost = 0;  // of the settings last applied
    bool stopped = false;
    bool failApply = false, failPrepare = false;  // throw std::runtime_error
    double latency = 0;                           // seconds, reported
};

// What a FakeChain reports: written by the test on the main thread, read by the engine's
// threads; and what the engine last told the chain about the spectrum.
class ChainReadings {
public:
    ChainProbe probe;

    void setMeter(const MeterReading& reading);
    MeterReading meter();
    void setSpectrum(SpectrumReading reading);
    SpectrumReading spectrum();
    void setSpectrumWanted(bool wanted);
    // Whether anyone reads the spectrum now, as the engine last said.
    bool spectrumWanted();

private:
    std::mutex mutex_;
    MeterReading meter_{-120, -120, -120, 0, 0, 0};
    SpectrumReading spectrum_{true, std::vector<float>(31, 0.0f), std::vector<float>(31, 0.0f)};
    bool spectrumWanted_ = false;
};

// A processing chain that multiplies its input by the sum of its path gains, reports the readings
// the test gives it, records what the engine tells it and can be told to fail.
class FakeChain final : public EngineChain {
public:
    FakeChain(std::shared_ptr<ChainReadings> readings, InputBlock input);

    // Makes one FakeChain per engine start, all on `readings`; records the channels and rate.
    static Factory factory(std::shared_ptr<ChainReadings> readings);

    void apply(const DSPSettings& settings) override;
    void setPathGains(float dry, float wet) override;
    void prepare() override;
    void start() override {}
    void stop() override { readings_->probe.stopped = true; }
    Status render(uint32_t frames, AudioBufferList& output) override;
    MeterReading meter() override { return readings_->meter(); }
    SpectrumReading spectrum() override { return readings_->spectrum(); }
    void setSpectrumWanted(bool wanted) override { readings_->setSpectrumWanted(wanted); }
    double reportedLatency() const override { return readings_->probe.latency; }

private:
    std::shared_ptr<ChainReadings> readings_;
    InputBlock input_;
};

}  // namespace quorel::test
