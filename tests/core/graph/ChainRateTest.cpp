#include "GraphChain.h"
#include "PCMBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace quorel {
namespace {

// The engine's chain, built for `rate` as the engine builds it, renders a tone of `hz` in
// real-time cycles of 512 frames; returns its gain in dB once settled (the last second).
double toneGainDB(double rate, double hz, const DSPSettings& settings)
{
    constexpr uint32_t cycle = 512;
    constexpr double amplitude = 0.05;
    std::vector<float> left(cycle), right(cycle);
    uint64_t phase = 0;
    AudioBufferList input;
    auto block = [&](uint32_t frames) -> const AudioBufferList* {
        for (uint32_t i = 0; i < frames; ++i, ++phase)
            left[i] = right[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(phase) / rate));
        input.numberBuffers = 2;
        input.buffers[0] = {1, frames * 4, left.data()};
        input.buffers[1] = {1, frames * 4, right.data()};
        return &input;
    };
    std::unique_ptr<EngineChain> chain = GraphChain::factory()(2, rate, block);
    chain->apply(settings);
    chain->setPathGains(0, 1);
    chain->prepare();
    chain->start();
    auto out = PCMBuffer::make(AudioFormat::standard(rate, 2), cycle);
    out->setFrameLength(cycle);
    const auto cycles = size_t(std::ceil(3 * rate / cycle));
    const size_t measured = size_t(rate / cycle);
    double sum = 0;
    size_t count = 0;
    for (size_t k = 0; k < cycles; ++k) {
        EXPECT_EQ(chain->render(cycle, out->mutableAudioBufferList()), status::ok);
        if (k + measured < cycles) continue;
        for (uint32_t i = 0; i < cycle; ++i, ++count) sum += double(out->channel(0)[i]) * out->channel(0)[i];
    }
    chain->stop();
    return 20 * std::log10(std::sqrt(sum / double(count)) / (amplitude / std::sqrt(2.0)));
}

// Every rate-dependent filter sits where it was asked to at the rate the chain was built for, not
// at 48 kHz: an equalizer band and a headphone correction filter each lift a tone at their own
// centre by their gain, and leave a tone two octaves off nearly alone.
TEST(ChainRate, FiltersSitOnTheirFrequenciesAtEveryRate)
{
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        DSPSettings band;
        band.bands[size_t(DSPSettings::bandIndex(1000))] = 12;
        EXPECT_NEAR(toneGainDB(rate, 1000, band), 12, 0.5) << rate << " Hz: equalizer band at 1 kHz";
        EXPECT_NEAR(toneGainDB(rate, 4000, band), 0, 0.5) << rate << " Hz: a tone two octaves above it";

        DSPSettings headphone;
        HeadphoneProfile profile;
        profile.filters.push_back({HeadphoneFilter::Kind::peak, 3000, 6, 2});
        headphone.headphoneProfile = profile;
        EXPECT_NEAR(toneGainDB(rate, 3000, headphone), 6, 0.5) << rate << " Hz: headphone filter at 3 kHz";
        EXPECT_NEAR(toneGainDB(rate, 750, headphone), 0, 0.5) << rate << " Hz: a tone two octaves below it";
    }
}

}  // namespace
}  // namespace quorel
