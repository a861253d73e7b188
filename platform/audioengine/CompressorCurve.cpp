#include "CompressorCurve.h"

#include "VectorMath.h"

#include <algorithm>
#include <cmath>

namespace quorel {

float CompressorCurve::ratio() const
{
    if (!(headroom > 0)) return 1;
    return 1 + std::fabs(threshold) / headroom;
}

bool CompressorCurve::isNeutral() const { return ratio() == 1 && !(expansionRatio > 1); }

float CompressorCurve::gainDB(float levelDB) const
{
    float gain = 0;
    const float slope = 1 - 1 / ratio();
    if (slope > 0) {
        const float over = levelDB - threshold;
        if (over >= kneeDB / 2)
            gain -= over * slope;
        else if (over > -kneeDB / 2)
            gain -= (over + kneeDB / 2) * (over + kneeDB / 2) / (2 * kneeDB) * slope;
    }
    if (expansionRatio > 1 && levelDB < expansionThreshold)
        gain -= std::min((expansionThreshold - levelDB) * (expansionRatio - 1), 120.0f);
    return gain;
}

void CompressorCurve::gains(const float* levelsDB, float* gains, uint32_t count, float makeupDB) const
{
    using namespace vectormath;
    const float slope = 1 - 1 / ratio();
    const bool compresses = slope > 0;
    const bool expands = expansionRatio > 1;
    const Float4 zero{};
    constexpr float ln10Over20 = 0.11512925465f;
    auto gainOf = [&](Float4 level) {
        Float4 gain = zero;
        if (compresses) {
            const Float4 over = level - threshold;
            const Float4 inKnee = over + kneeDB / 2;
            const Float4 above = zero - over * slope;
            const Float4 knee = zero - inKnee * inKnee / (2 * kneeDB) * slope;
            gain = over >= kneeDB / 2 ? above : (over > -kneeDB / 2 ? knee : zero);
        }
        if (expands) {
            const Float4 pushed = minimum((expansionThreshold - level) * (expansionRatio - 1), splat(120.0f));
            gain = level < expansionThreshold ? gain - pushed : gain;
        }
        return vectormath::exp((gain + makeupDB) * ln10Over20);
    };
    const uint32_t whole = count - count % 4;
    for (uint32_t i = 0; i < whole; i += 4) store(gains + i, gainOf(load(levelsDB + i)));
    // The last few levels go through padded lanes, so no level depends on the block's cut.
    if (whole < count) {
        float lanes[4] = {0, 0, 0, 0};
        for (uint32_t i = whole; i < count; ++i) lanes[i - whole] = levelsDB[i];
        store(lanes, gainOf(load(lanes)));
        for (uint32_t i = whole; i < count; ++i) gains[i] = lanes[i - whole];
    }
}

}  // namespace quorel
