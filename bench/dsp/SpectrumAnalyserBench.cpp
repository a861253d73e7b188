#include "BenchSupport.h"
#include "QREffects.h"
#include "QRUtilityUnit.h"
#include "SpectrumAnalyser.h"

#include <random>
#include <vector>

namespace quorel::bench {
namespace {

// Feeding the mono mix of a block: a 4096-point transform every 1024 samples.
void SpectrumAnalyserFeed(benchmark::State& state)
{
    const auto frames = uint32_t(state.range(0));
    std::vector<float> centres = {20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,  200,
                                  250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                  3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};
    SpectrumAnalyser analyser;
    analyser.configure(centres.data(), uint32_t(centres.size()));
    analyser.allocate(48000);
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> block(frames);
    for (float& s : block) s = noise(generator);
    for (auto _ : state) analyser.feed(block.data(), frames);
    reportTimePerFrame(state, frames);
}
BENCHMARK(SpectrumAnalyserFeed)->Apply(blockSizes);

// A utility stage with its analyser on, as the chain's input and output stages run.
void UtilityWithAnalyser(benchmark::State& state)
{
    static const float centres[] = {20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,  200,
                                    250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                    3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};
    QRUtilityUnit unit;
    unit.configureSpectrum(centres, 31);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(UtilityWithAnalyser)->Apply(blockSizes);

}  // namespace
}  // namespace quorel::bench
