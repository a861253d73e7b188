#include "BassHarmonics.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace quorel {

namespace {

struct Design {
    double b0, b1, b2, a1, a2;
};

BassHarmonics::Section store(const Design& d)
{
    BassHarmonics::Section s;
    s.b0 = static_cast<float>(d.b0);
    s.b1 = static_cast<float>(d.b1);
    s.b2 = static_cast<float>(d.b2);
    s.a1 = static_cast<float>(d.a1);
    s.a2 = static_cast<float>(d.a2);
    return s;
}

// Angular frequency (limited to 0.45 of the sample rate), its cosine and alpha.
void angle(double frequency, double q, double sampleRate, double& cosine, double& alpha)
{
    const double f = std::min(frequency, 0.45 * sampleRate);
    const double w0 = 2 * std::numbers::pi * f / sampleRate;
    cosine = std::cos(w0);
    alpha = std::sin(w0) / (2 * q);
}

}  // namespace

BassHarmonics::Section BassHarmonics::Section::highPass(double frequency, double q, double sampleRate)
{
    double c = 0, alpha = 0;
    angle(frequency, q, sampleRate, c, alpha);
    const double a0 = 1 + alpha;
    return store({(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0});
}

BassHarmonics::Section BassHarmonics::Section::lowPass(double frequency, double q, double sampleRate)
{
    double c = 0, alpha = 0;
    angle(frequency, q, sampleRate, c, alpha);
    const double a0 = 1 + alpha;
    return store({(1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0});
}

double BassHarmonics::Section::magnitude(double frequency, double sampleRate) const
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((double(b0) + double(b1) * z1 + double(b2) * z2) /
                    (1.0 + double(a1) * z1 + double(a2) * z2));
}

void BassHarmonics::prepare(double sampleRate)
{
    // alpha = sin(w0) / (2Q): Q 0.7071 gives sin(w0) / sqrt(2), Q 0.54 gives sin(w0) / 1.08,
    // Q 1.31 gives sin(w0) / 2.62.
    const double butterworth = std::numbers::sqrt2 / 2;
    bandHigh = Section::highPass(30, butterworth, sampleRate);
    bandLow = Section::lowPass(110, butterworth, sampleRate);
    harmonicHigh1 = Section::highPass(90, 0.54, sampleRate);
    harmonicHigh2 = Section::highPass(90, 1.31, sampleRate);
    harmonicLow = Section::lowPass(500, butterworth, sampleRate);
    attackCoefficient = static_cast<float>(1 - std::exp(-1 / (0.003 * sampleRate)));
    releaseCoefficient = static_cast<float>(1 - std::exp(-1 / (0.06 * sampleRate)));
    reset();
}

void BassHarmonics::reset()
{
    for (Section* s : {&bandHigh, &bandLow, &harmonicHigh1, &harmonicHigh2, &harmonicLow})
        s->z1 = s->z2 = 0;
    envelope = 0;
}

float BassHarmonics::process(float* samples, uint32_t frames, float amount)
{
    const float a = std::clamp(amount, 0.0f, 1.0f);
    const float mix = a >= audibleAmount ? 0.9f * a : 0.0f;
    // Work on copies so the compiler keeps the filter state in registers.
    Section s1 = bandHigh, s2 = bandLow, s3 = harmonicHigh1, s4 = harmonicHigh2, s5 = harmonicLow;
    float env = envelope;
    float peak = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        float x = samples[i];
        if (!std::isfinite(x))
            x = 0;
        const float band = s2.process(s1.process(x));
        const float level = std::fabs(band);
        env += (level - env) * (level > env ? attackCoefficient : releaseCoefficient);
        const float n = std::clamp(band / std::max(env, 0.0001f), -1.0f, 1.0f);
        const float n2 = n * n;
        const float t2 = 2 * n2 - 1;
        const float t3 = (4 * n2 - 3) * n;
        const float t4 = (8 * n2 - 8) * n2 + 1;
        const float h = s5.process(s4.process(s3.process((t2 + 0.7f * t3 + 0.4f * t4) * env)));
        const float out = mix > 0 ? x + mix * h : x;
        samples[i] = out;
        peak = std::max(peak, std::fabs(out));
    }
    bandHigh = s1;
    bandLow = s2;
    harmonicHigh1 = s3;
    harmonicHigh2 = s4;
    harmonicLow = s5;
    envelope = env;
    return peak;
}

}  // namespace quorel
