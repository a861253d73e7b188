#include "BenchSupport.h"
#include "QRBassUnit.h"
#include "QREffects.h"

namespace quorel::bench {
namespace {

void BassUnit(benchmark::State& state)
{
    QRBassUnit unit;
    unit.configureAmount(1);
    StereoChain chain({&unit}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(BassUnit)->Apply(blockSizes);

}  // namespace
}  // namespace quorel::bench
