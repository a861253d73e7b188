#include "CompressorCurve.h"

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

}  // namespace quorel
