#include "BenchSupport.h"
#include "QRBassUnit.h"
#include "QRDriveUnit.h"
#include "QREffects.h"
#include "QRLevelerUnit.h"
#include "QRLimiterUnit.h"
#include "QRUtilityUnit.h"

#include <cmath>

namespace quorel::bench {
namespace {

// The five units together in the chain's order, every one of them working: bass harmonics on,
// the leveler steering, the drive at full amount on a loud signal, the limiter reducing, and a
// utility stage with its third-octave analyser on.
void FiveUnits(benchmark::State& state)
{
    static const float centres[] = {20,   25,   31.5f, 40,   50,   63,    80,    100,   125,  160,  200,
                                    250,  315,  400,   500,  630,  800,   1000,  1250,  1600, 2000, 2500,
                                    3150, 4000, 5000,  6300, 8000, 10000, 12500, 16000, 20000};
    QRBassUnit bass;
    QRLevelerUnit leveler;
    QRDriveUnit drive;
    QRLimiterUnit limiter;
    QRUtilityUnit utility;
    bass.configureAmount(1);
    leveler.configureStrength(1, -14);
    drive.configureAmount(1, std::pow(10.0f, -1.0f / 20));
    limiter.configureCeiling(std::pow(10.0f, -1.0f / 20), 0.005f, 0.08f);
    utility.configureSpectrum(centres, 31);
    utility.setGain(1);
    StereoChain chain({&bass, &leveler, &drive, &limiter, &utility}, uint32_t(state.range(0)));
    chain.run(state);
}
BENCHMARK(FiveUnits)->Apply(blockSizes);

}  // namespace
}  // namespace quorel::bench
