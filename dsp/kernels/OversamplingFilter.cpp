#include "OversamplingFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorel {

uint32_t OversamplingFilter::factorForSampleRate(double sampleRate)
{
    if (sampleRate < 64000) return 4;
    if (sampleRate < 128000) return 2;
    return 1;
}

double OversamplingFilter::besselI0(double x)
{
    const double half = x / 2;
    double sum = 0;
    double factor = 1;  // (x/2)^j / j!
    for (int j = 0; j < 63; ++j) {
        if (j > 0) factor *= half / j;
        const double term = factor * factor;
        sum += term;
        if (term < 1e-12 * sum) break;
    }
    return sum;
}

void OversamplingFilter::design(uint32_t factor, float* coefficients)
{
    if (factor <= 1) {
        coefficients[0] = 1.0f;
        return;
    }
    constexpr double beta = 6;
    constexpr int middle = (taps - 1) / 2;
    const double pi = std::numbers::pi;
    const double windowScale = besselI0(beta);
    double sum = 0;
    for (uint32_t k = 0; k < taps; ++k) {
        const int m = static_cast<int>(k) - middle;
        const double sinc = m == 0 ? 1.0 / factor : std::sin(m * pi / factor) / (pi * m);
        const double ratio = static_cast<double>(m) / middle;
        const double r = std::max(0.0, 1 - ratio * ratio);
        const double window = besselI0(beta * std::sqrt(r)) / windowScale;
        coefficients[k] = static_cast<float>(sinc * window);
        sum += coefficients[k];
    }
    const float total = static_cast<float>(sum);
    for (uint32_t k = 0; k < taps; ++k) coefficients[k] /= total;
}

double OversamplingFilter::magnitude(const float* coefficients, uint32_t count, double cyclesPerSample)
{
    double re = 0, im = 0;
    const double w = 2 * std::numbers::pi * cyclesPerSample;
    for (uint32_t k = 0; k < count; ++k) {
        re += coefficients[k] * std::cos(w * k);
        im -= coefficients[k] * std::sin(w * k);
    }
    return std::hypot(re, im);
}

}  // namespace quorel
