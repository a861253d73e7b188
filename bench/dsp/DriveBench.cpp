#include "BenchSupport.h"
#include "DriveCurve.h"
#include "DriveOversampler.h"
#include "FirKernel.h"
#include "QREffects.h"
#include "QRDriveUnit.h"

#include <random>
#include <vector>

namespace quorel::bench {
namespace {

// The drive at full amount on a loud signal (most oversampled samples above the knee).
void DriveUnitFullAmount(benchmark::State& state)
{
    QRDriveUnit unit;
    unit.configureAmount(1, 0.891f);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(DriveUnitFullAmount)->Apply(blockSizes);

// Amount 0: the oversampling filters only.
void DriveUnitAmountZero(benchmark::State& state)
{
    QRDriveUnit unit;
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(DriveUnitAmountZero)->Apply(blockSizes);

// One channel of the kernel as the unit runs it (polyphase: only the non-zero taps of the
// zero-stuffed signal, only the kept outputs of the decimation)...
void DriveKernelPolyphase(benchmark::State& state)
{
    const auto frames = uint32_t(state.range(0));
    DriveOversampler oversampler;
    oversampler.allocate(4, frames);
    const DriveCurve curve = DriveCurve::make(1, 0.891f);
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    std::vector<float> source(frames), block(frames);
    for (float& s : source) s = noise(generator);
    for (auto _ : state) {
        block = source;
        benchmark::DoNotOptimize(oversampler.process(block.data(), frames, curve).activity);
    }
    reportTimePerFrame(state, frames);
}
BENCHMARK(DriveKernelPolyphase)->Apply(blockSizes);

// ... against the plain form: zero-stuff, a full 129-tap convolution at the high rate, shape,
// a full convolution again and keep every fourth sample.
void DriveKernelPlain(benchmark::State& state)
{
    const auto frames = uint32_t(state.range(0));
    constexpr uint32_t factor = 4, taps = OversamplingFilter::taps;
    std::vector<float> h(taps);
    OversamplingFilter::design(factor, h.data());
    const DriveCurve curve = DriveCurve::make(1, 0.891f);
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> noise(-0.9f, 0.9f);
    std::vector<float> source(frames), out(frames);
    for (float& s : source) s = noise(generator);
    const uint32_t high = frames * factor;
    std::vector<float> stuffed(taps - 1 + high, 0.0f), shaped(taps - 1 + high, 0.0f);
    for (auto _ : state) {
        std::fill(stuffed.begin() + (taps - 1), stuffed.end(), 0.0f);
        for (uint32_t i = 0; i < frames; ++i) stuffed[taps - 1 + i * factor] = source[i] * factor;
        for (uint32_t m = 0; m < high; ++m) shaped[taps - 1 + m] = 0;
        firAccumulate(shaped.data() + taps - 1, stuffed.data() + taps - 1, h.data(), taps, high);
        benchmark::DoNotOptimize(curve.shape(shaped.data() + taps - 1, high));
        for (uint32_t k = 0; k < frames; ++k) {
            float sum = 0;
            for (uint32_t p = 0; p < taps; ++p) sum += shaped[k * factor + p] * h[p];
            out[k] = sum;
        }
        std::copy(stuffed.end() - (taps - 1), stuffed.end(), stuffed.begin());
        std::copy(shaped.end() - (taps - 1), shaped.end(), shaped.begin());
        benchmark::DoNotOptimize(out.data());
    }
    reportTimePerFrame(state, frames);
}
BENCHMARK(DriveKernelPlain)->Apply(blockSizes);

}  // namespace
}  // namespace quorel::bench
