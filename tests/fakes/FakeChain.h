#pragma once

#include "EngineChain.h"

#include <memory>
#include <mutex>

namespace quorel::test {

// What a FakeChain reports: written by the test on the main thread, read by the engine's
// threads; and what the engine last told the chain about the spectrum.
class ChainReadings {
public:
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

// A processing chain that passes its input through unchanged and reports the readings the test
// gives it.
class FakeChain final : public EngineChain {
public:
    FakeChain(std::shared_ptr<ChainReadings> readings, InputBlock input);

    // Makes one FakeChain per engine start, all on `readings`.
    static Factory factory(std::shared_ptr<ChainReadings> readings);

    void apply(const DSPSettings&) override {}
    void setPathGains(float, float) override {}
    void prepare() override {}
    void start() override {}
    void stop() override {}
    Status render(uint32_t frames, AudioBufferList& output) override;
    MeterReading meter() override { return readings_->meter(); }
    SpectrumReading spectrum() override { return readings_->spectrum(); }
    void setSpectrumWanted(bool wanted) override { readings_->setSpectrumWanted(wanted); }
    double reportedLatency() const override { return 0; }

private:
    std::shared_ptr<ChainReadings> readings_;
    InputBlock input_;
};

}  // namespace quorel::test
