#include "BiquadCoefficients.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorel {

namespace {

BiquadCoefficients normalised(double b0, double b1, double b2, double a0, double a1, double a2)
{
    if (!(std::isfinite(a0) && a0 != 0)) return BiquadCoefficients::identity();
    BiquadCoefficients c{b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
    if (!(std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) && std::isfinite(c.a1)
          && std::isfinite(c.a2)))
        return BiquadCoefficients::identity();
    return c;
}

// Angular frequency, or nothing when the frequency is not strictly inside (0, Nyquist).
bool omega(double sampleRate, double frequency, double& w0)
{
    if (!(sampleRate > 0) || !(frequency > 0) || !(frequency < sampleRate / 2)) return false;
    w0 = 2 * std::numbers::pi * frequency / sampleRate;
    return std::sin(w0) > 0;
}

double shelfAlpha(double w0, double bandwidthOctaves)
{
    return std::sin(w0) * std::sinh(std::numbers::ln2 / 2 * std::max(bandwidthOctaves, 1e-6));
}

}  // namespace

BiquadCoefficients BiquadCoefficients::peaking(double sampleRate, double frequency, double bandwidthOctaves,
                                               double gainDB)
{
    double w0;
    if (gainDB == 0 || !omega(sampleRate, frequency, w0)) return identity();
    const double s = std::sin(w0);
    const double a = std::pow(10.0, gainDB / 40);
    const double alpha = s * std::sinh(std::numbers::ln2 / 2 * bandwidthOctaves * w0 / s);
    const double cs = -2 * std::cos(w0);
    return normalised(1 + alpha * a, cs, 1 - alpha * a, 1 + alpha / a, cs, 1 - alpha / a);
}

BiquadCoefficients BiquadCoefficients::highPass(double sampleRate, double frequency, double q)
{
    double w0;
    if (!omega(sampleRate, frequency, w0)) return identity();
    const double c = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    return normalised((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

BiquadCoefficients BiquadCoefficients::lowPass(double sampleRate, double frequency, double q)
{
    double w0;
    if (!omega(sampleRate, frequency, w0)) return identity();
    const double c = std::cos(w0), alpha = std::sin(w0) / (2 * q);
    return normalised((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

BiquadCoefficients BiquadCoefficients::allPass(double sampleRate, double frequency)
{
    double w0;
    if (!omega(sampleRate, frequency, w0)) return identity();
    const double c = std::cos(w0), alpha = std::sin(w0) / (2 * butterworthQ);
    return normalised(1 - alpha, -2 * c, 1 + alpha, 1 + alpha, -2 * c, 1 - alpha);
}

BiquadCoefficients BiquadCoefficients::lowShelf(double sampleRate, double frequency, double bandwidthOctaves,
                                                double gainDB)
{
    double w0;
    if (gainDB == 0 || !omega(sampleRate, frequency, w0)) return identity();
    const double a = std::pow(10.0, gainDB / 40), c = std::cos(w0);
    const double k = 2 * std::sqrt(a) * shelfAlpha(w0, bandwidthOctaves);
    return normalised(a * ((a + 1) - (a - 1) * c + k), 2 * a * ((a - 1) - (a + 1) * c), a * ((a + 1) - (a - 1) * c - k),
                      (a + 1) + (a - 1) * c + k, -2 * ((a - 1) + (a + 1) * c), (a + 1) + (a - 1) * c - k);
}

BiquadCoefficients BiquadCoefficients::highShelf(double sampleRate, double frequency, double bandwidthOctaves,
                                                 double gainDB)
{
    double w0;
    if (gainDB == 0 || !omega(sampleRate, frequency, w0)) return identity();
    const double a = std::pow(10.0, gainDB / 40), c = std::cos(w0);
    const double k = 2 * std::sqrt(a) * shelfAlpha(w0, bandwidthOctaves);
    return normalised(a * ((a + 1) + (a - 1) * c + k), -2 * a * ((a - 1) + (a + 1) * c),
                      a * ((a + 1) + (a - 1) * c - k), (a + 1) - (a - 1) * c + k, 2 * ((a - 1) - (a + 1) * c),
                      (a + 1) - (a - 1) * c - k);
}

BiquadCoefficients BiquadCoefficients::design(Type type, double sampleRate, double frequency, double bandwidthOctaves,
                                              double gainDB)
{
    switch (type) {
    case Type::parametric: return peaking(sampleRate, frequency, bandwidthOctaves, gainDB);
    case Type::highPass: return highPass(sampleRate, frequency);
    case Type::lowShelf: return lowShelf(sampleRate, frequency, bandwidthOctaves, gainDB);
    case Type::highShelf: return highShelf(sampleRate, frequency, bandwidthOctaves, gainDB);
    }
    return identity();
}

double BiquadCoefficients::magnitudeDB(double sampleRate, double frequency) const
{
    const double w = 2 * std::numbers::pi * frequency / sampleRate;
    const double c1 = std::cos(w), s1 = std::sin(w), c2 = std::cos(2 * w), s2 = std::sin(2 * w);
    const double nr = b0 + b1 * c1 + b2 * c2, ni = b1 * s1 + b2 * s2;
    const double dr = 1 + a1 * c1 + a2 * c2, di = a1 * s1 + a2 * s2;
    const double n = nr * nr + ni * ni, d = std::max(dr * dr + di * di, 1e-12);
    return 10 * std::log10(std::max(n / d, 1e-12));
}

}  // namespace quorel
