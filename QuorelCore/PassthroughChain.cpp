#include "PassthroughChain.h"

#include <algorithm>
#include <cmath>

namespace quorel {

PassthroughChain::PassthroughChain(InputBlock input) : input_(std::move(input)) {}

EngineChain::Factory PassthroughChain::factory()
{
    return [](uint32_t, double, InputBlock input) { return std::make_unique<PassthroughChain>(std::move(input)); };
}

void PassthroughChain::apply(const DSPSettings& settings)
{
    boost_.store(DSPSettings::linearGain(settings.sanitized().boostDB), std::memory_order_relaxed);
}

void PassthroughChain::setPathGains(float dry, float wet)
{
    dry_.store(dry, std::memory_order_relaxed);
    wet_.store(wet, std::memory_order_relaxed);
}

Status PassthroughChain::render(uint32_t frames, AudioBufferList& output)
{
    const AudioBufferList* in = input_ ? input_(frames) : nullptr;
    if (!in || in->numberBuffers == 0 || output.numberBuffers < 2) return status::noConnection;
    const float gain = dry_.load(std::memory_order_relaxed)
        + wet_.load(std::memory_order_relaxed) * boost_.load(std::memory_order_relaxed);
    float inPeak = inputPeak_.load(std::memory_order_relaxed);
    float outPeak = outputPeak_.load(std::memory_order_relaxed);
    for (uint32_t c = 0; c < 2; ++c) {
        const float* source = in->buffers[std::min(c, in->numberBuffers - 1)].samples();
        float* target = output.buffers[c].samples();
        for (uint32_t i = 0; i < frames; ++i) {
            inPeak = std::max(inPeak, std::fabs(source[i]));
            target[i] = source[i] * gain;
            outPeak = std::max(outPeak, std::fabs(target[i]));
        }
    }
    inputPeak_.store(inPeak, std::memory_order_relaxed);
    outputPeak_.store(outPeak, std::memory_order_relaxed);
    return status::ok;
}

MeterReading PassthroughChain::meter()
{
    MeterReading reading{};
    reading.inputPeakDB = DSPSettings::decibels(inputPeak_.exchange(0, std::memory_order_relaxed));
    reading.outputPeakDB = DSPSettings::decibels(outputPeak_.exchange(0, std::memory_order_relaxed));
    reading.outputRMSDB = -120;
    reading.limiterReductionDB = 0;
    return reading;
}

}  // namespace quorel
