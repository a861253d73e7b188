#include "PulseVolume.h"

#include <algorithm>
#include <cmath>

namespace quorel::pulseVolume {

float fraction(const pa_cvolume& volume)
{
    if (!pa_cvolume_valid(&volume)) return 0;
    const double value = double(pa_cvolume_max(&volume)) / double(PA_VOLUME_NORM);
    return float(std::clamp(value, 0.0, 1.0));
}

pa_cvolume scaled(const pa_cvolume& volume, float fraction)
{
    const double f = std::isfinite(fraction) ? std::clamp(double(fraction), 0.0, 1.0) : 0.0;
    pa_cvolume result = volume;
    pa_cvolume_scale(&result, pa_volume_t(std::lround(f * double(PA_VOLUME_NORM))));
    return result;
}

}  // namespace quorel::pulseVolume
