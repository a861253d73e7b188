#include "FakeChain.h"

#include <algorithm>
#include <stdexcept>

namespace quorel::test {

void ChainReadings::setMeter(const MeterReading& reading)
{
    std::lock_guard lock(mutex_);
    meter_ = reading;
}

MeterReading ChainReadings::meter()
{
    std::lock_guard lock(mutex_);
    return meter_;
}

void ChainReadings::setSpectrum(SpectrumReading reading)
{
    std::lock_guard lock(mutex_);
    spectrum_ = std::move(reading);
}

SpectrumReading ChainReadings::spectrum()
{
    std::lock_guard lock(mutex_);
    return spectrum_;
}

void ChainReadings::setSpectrumWanted(bool wanted)
{
    std::lock_guard lock(mutex_);
    spectrumWanted_ = wanted;
}

bool ChainReadings::spectrumWanted()
{
    std::lock_guard lock(mutex_);
    return spectrumWanted_;
}

FakeChain::FakeChain(std::shared_ptr<ChainReadings> readings, InputBlock input)
    : readings_(std::move(readings)), input_(std::move(input))
{
}

EngineChain::Factory FakeChain::factory(std::shared_ptr<ChainReadings> readings)
{
    return [readings](uint32_t channels, double sampleRate, InputBlock input) {
        readings->probe.channels = channels;
        readings->probe.sampleRate = sampleRate;
        return std::make_unique<FakeChain>(readings, std::move(input));
    };
}

void FakeChain::apply(const DSPSettings& settings)
{
    ChainProbe& probe = readings_->probe;
    if (probe.failApply) throw std::runtime_error("apply failed");
    ++probe.applies;
    probe.lastBoost = settings.boostDB;
}

void FakeChain::setPathGains(float dry, float wet)
{
    readings_->probe.dry = dry;
    readings_->probe.wet = wet;
}

void FakeChain::prepare()
{
    if (readings_->probe.failPrepare) throw std::runtime_error("prepare failed");
}

Status FakeChain::render(uint32_t frames, AudioBufferList& output)
{
    const AudioBufferList* input = input_ ? input_(frames) : nullptr;
    if (!input) return status::noConnection;
    const float gain = readings_->probe.dry + readings_->probe.wet;
    for (uint32_t c = 0; c < output.numberBuffers; ++c)
        if (float* samples = output.buffers[c].samples()) {
            const float* from = input->buffers[std::min(c, input->numberBuffers - 1)].samples();
            std::transform(from, from + frames, samples, [gain](float x) { return x * gain; });
        }
    return status::ok;
}

}  // namespace quorel::test
