#include "EqualizerResponse.h"

#include "BiquadCoefficients.h"
#include "DSPSettings.h"

#include <algorithm>
#include <cmath>

namespace quorel::EqualizerResponse {

std::vector<Point> curve(const std::vector<float>& bands, double sampleRate, int points)
{
    std::vector<Point> result;
    if (points <= 0) return result;
    result.reserve(size_t(points));

    // Each active band designed once; the drawing and the unit share the one formula.
    std::vector<BiquadCoefficients> active;
    const size_t count = std::min(bands.size(), DSPSettings::frequencies.size());
    for (size_t i = 0; i < count; ++i) {
        const double f0 = DSPSettings::frequencies[i];
        const float gain = bands[i];
        if (gain != 0 && f0 < sampleRate / 2)
            active.push_back(BiquadCoefficients::peaking(sampleRate, f0, DSPSettings::bandwidthOctaves, gain));
    }

    const double l0 = std::log(double(DSPSettings::frequencies.front()));
    const double l1 = std::log(double(DSPSettings::frequencies.back()));
    for (int k = 0; k < points; ++k) {
        const double t = points > 1 ? double(k) / double(points - 1) : 0.0;
        double sum = 0;
        if (!active.empty()) {
            const double f = std::exp(l0 + t * (l1 - l0));
            for (const BiquadCoefficients& band : active) sum += band.magnitudeDB(sampleRate, f);
        }
        result.push_back({t, float(sum)});
    }
    return result;
}

}  // namespace quorel::EqualizerResponse
