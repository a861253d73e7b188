// Nanoseconds per stereo frame at 48 kHz for each of the system's own units, in blocks of 128,
// 512 and 4096 frames (the "time/frame" counter).
//
// Each unit has its own benchmark file in this folder (all *.cpp here join bench_effects):
// utility, limiter and leveler below; drive, bass harmonics and the analyser in their own
// files; the five units together, in chain order, in ChainBench.cpp with StereoChain.

#include "BenchSupport.h"
#include "QREffects.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRUtilityUnit.h"

namespace quorel::bench {
namespace {

void Utility(benchmark::State& state)
{
    QRUtilityUnit unit;
    unit.setGain(0.8f);
    unit.configureDelay(271, 0.999f);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(Utility)->Apply(blockSizes);

// While a gain ramp runs the unit computes a gain curve; the ramp restarts every block.
void UtilityRamping(benchmark::State& state)
{
    QRUtilityUnit unit;
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    float gain = 1;
    for (auto _ : state) {
        gain = gain == 1 ? 0.5f : 1;
        unit.setGain(gain);
        chain.renderBlock();
    }
    reportTimePerFrame(state, uint32_t(state.range(0)));
}
BENCHMARK(UtilityRamping)->Apply(blockSizes);

// A loud signal under a low ceiling keeps the limiter reducing all the time.
void Limiter(benchmark::State& state)
{
    QRLimiterUnit unit;
    unit.configureCeiling(0.5f, 0.005f, 0.08f);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(Limiter)->Apply(blockSizes);

void Leveler(benchmark::State& state)
{
    QRLevelerUnit unit;
    unit.configureStrength(1, -14);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(Leveler)->Apply(blockSizes);

}  // namespace
}  // namespace quorel::bench
