#include "BassHarmonics.h"

#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace quorel {

namespace {

// cos(w0) and alpha = sin(w0) / (2Q), with the frequency limited to 0.45 of the rate.
void angle(double frequency, double q, double sampleRate, double& cosine, double& alpha)
{
    const double w0 = 2 * std::numbers::pi * std::min(frequency, 0.45 * sampleRate) / sampleRate;
    cosine = std::cos(w0);
    alpha = std::sin(w0) / (2 * q);
}

}  // namespace

std::array<double, 5> BassHarmonics::highPass(double frequency, double q, double sampleRate)
{
    double c = 0, alpha = 0;
    angle(frequency, q, sampleRate, c, alpha);
    const double a0 = 1 + alpha;
    return {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

std::array<double, 5> BassHarmonics::lowPass(double frequency, double q, double sampleRate)
{
    double c = 0, alpha = 0;
    angle(frequency, q, sampleRate, c, alpha);
    const double a0 = 1 + alpha;
    return {(1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

double BassHarmonics::magnitude(const Biquad& s, double frequency, double sampleRate)
{
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((double(s.b0) + double(s.b1) * z1 + double(s.b2) * z2)
                    / (1.0 + double(s.a1) * z1 + double(s.a2) * z2));
}

void BassHarmonics::prepare(double sampleRate)
{
    // Q 0.7071 gives alpha = sin(w0) / sqrt(2); Q 0.54 and 1.31 give sin(w0) / 1.08 and / 2.62.
    const double butterworth = std::numbers::sqrt2 / 2;
    bandHigh.setCoefficients(highPass(30, butterworth, sampleRate).data());
    bandLow.setCoefficients(lowPass(110, butterworth, sampleRate).data());
    harmonicHigh1.setCoefficients(highPass(90, 0.54, sampleRate).data());
    harmonicHigh2.setCoefficients(highPass(90, 1.31, sampleRate).data());
    harmonicLow.setCoefficients(lowPass(500, butterworth, sampleRate).data());
    attackCoefficient = static_cast<float>(1 - std::exp(-1 / (0.003 * sampleRate)));
    releaseCoefficient = static_cast<float>(1 - std::exp(-1 / (0.06 * sampleRate)));
    reset();
}

void BassHarmonics::reset() noexcept
{
    for (Biquad* section : {&bandHigh, &bandLow, &harmonicHigh1, &harmonicHigh2, &harmonicLow})
        section->clear();
    envelope = 0;
}

float BassHarmonics::process(float* samples, uint32_t frames, float amount) noexcept
{
    const float a = std::clamp(amount, 0.0f, 1.0f);
    const bool audible = a >= audibleAmount;
    const float mix = 0.9f * a;
    // Local copies keep the filter state in registers through the loop.
    Biquad s1 = bandHigh, s2 = bandLow, s3 = harmonicHigh1, s4 = harmonicHigh2, s5 = harmonicLow;
    float env = envelope;
    float peak = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const float x = sanitizedSample(samples[i]);
        const float band = s2.process(s1.process(x));
        const float level = std::fabs(band);
        env += (level - env) * (level > env ? attackCoefficient : releaseCoefficient);
        const float n = std::clamp(band / std::max(env, 0.0001f), -1.0f, 1.0f);
        // Chebyshev T2 = 2n^2 - 1, T3 = 4n^3 - 3n, T4 = 8n^4 - 8n^2 + 1.
        const float n2 = n * n;
        const float t2 = 2 * n2 - 1;
        const float t3 = (4 * n2 - 3) * n;
        const float t4 = (8 * n2 - 8) * n2 + 1;
        const float h = s5.process(s4.process(s3.process((t2 + 0.7f * t3 + 0.4f * t4) * env)));
        const float out = audible ? x + mix * h : x;
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
