#include "BassHarmonics.h"

#include "CpuFeatures.h"
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

// Lane c holds channel c.
using Lanes = float __attribute__((vector_size(16)));

[[gnu::always_inline]] inline Lanes abs(Lanes v) { return v < 0 ? -v : v; }
[[gnu::always_inline]] inline Lanes max(Lanes a, Lanes b) { return a > b ? a : b; }
[[gnu::always_inline]] inline Lanes min(Lanes a, Lanes b) { return a < b ? a : b; }

// One section for both channels: shared coefficients, per-lane memories.
struct Section {
    Lanes b0, b1, b2, a1, a2;  // the same in every lane
    Lanes z1, z2;

    Section(const std::array<BassHarmonics::Channel, 2>& channels, Biquad BassHarmonics::Channel::*member)
    {
        const Biquad& first = channels[0].*member;
        b0 = Lanes{} + first.b0;
        b1 = Lanes{} + first.b1;
        b2 = Lanes{} + first.b2;
        a1 = Lanes{} + first.a1;
        a2 = Lanes{} + first.a2;
        z1 = Lanes{(channels[0].*member).z1, (channels[1].*member).z1, 0, 0};
        z2 = Lanes{(channels[0].*member).z2, (channels[1].*member).z2, 0, 0};
    }

    void save(std::array<BassHarmonics::Channel, 2>& channels, Biquad BassHarmonics::Channel::*member) const
    {
        for (int c = 0; c < 2; ++c) {
            (channels[c].*member).z1 = z1[c];
            (channels[c].*member).z2 = z2[c];
        }
    }

    [[gnu::always_inline]] Lanes process(Lanes x)
    {
        const Lanes y = b0 * x + z1;
        z1 = (b1 * x + z2) - a1 * y;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

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
    for (Channel& c : channel) {
        c.bandHigh.setCoefficients(highPass(30, butterworth, sampleRate).data());
        c.bandLow.setCoefficients(lowPass(110, butterworth, sampleRate).data());
        c.harmonicHigh1.setCoefficients(highPass(90, 0.54, sampleRate).data());
        c.harmonicHigh2.setCoefficients(highPass(90, 1.31, sampleRate).data());
        c.harmonicLow.setCoefficients(lowPass(500, butterworth, sampleRate).data());
    }
    attackCoefficient = static_cast<float>(1 - std::exp(-1 / (0.003 * sampleRate)));
    releaseCoefficient = static_cast<float>(1 - std::exp(-1 / (0.06 * sampleRate)));
    reset();
}

void BassHarmonics::reset() noexcept
{
    for (Channel& c : channel) {
        for (Biquad* section : {&c.bandHigh, &c.bandLow, &c.harmonicHigh1, &c.harmonicHigh2, &c.harmonicLow})
            section->clear();
        c.envelope = 0;
    }
}

namespace {

// The loop, compiled twice: for any x86-64 processor and for one with AVX (three-operand
// instructions, fewer register copies).
[[gnu::always_inline]] inline float run(BassHarmonics& harmonics, float* const* data, uint32_t channels,
                                        uint32_t frames, float amount)
{
    using Channel = BassHarmonics::Channel;
    const float a = std::clamp(amount, 0.0f, 1.0f);
    const float gain = a >= BassHarmonics::audibleAmount ? 0.9f * a : 0.0f;
    const bool stereo = channels > 1;
    float* left = data[0];
    float* right = stereo ? data[1] : nullptr;

    std::array<Channel, 2>& state = harmonics.channel;
    Section s1(state, &Channel::bandHigh), s2(state, &Channel::bandLow);
    Section s3(state, &Channel::harmonicHigh1), s4(state, &Channel::harmonicHigh2);
    Section s5(state, &Channel::harmonicLow);
    Lanes envelope{state[0].envelope, state[1].envelope, 0, 0};
    const Lanes attack = Lanes{} + harmonics.attackCoefficient, release = Lanes{} + harmonics.releaseCoefficient;
    const Lanes floor = Lanes{} + 0.0001f, one = Lanes{} + 1.0f;
    Lanes peak{};
    // Three loops over short chunks, each with a short chain from its input to its result, so
    // the processor overlaps many frames: the 30...110 Hz band; its envelope and the harmonic
    // mix; the harmonics' filters and the sum.
    constexpr uint32_t chunk = 64;
    Lanes input[chunk], band[chunk], mixed[chunk];
    for (uint32_t start = 0; start < frames; start += chunk) {
        const uint32_t count = std::min(chunk, frames - start);
        for (uint32_t i = 0; i < count; ++i) {
            const Lanes x{sanitizedSample(left[start + i]), stereo ? sanitizedSample(right[start + i]) : 0.0f, 0, 0};
            input[i] = x;
            band[i] = s2.process(s1.process(x));
        }
        for (uint32_t i = 0; i < count; ++i) {
            const Lanes level = abs(band[i]);
            envelope += (level - envelope) * (level > envelope ? attack : release);
            const Lanes n = min(max(band[i] / max(envelope, floor), -one), one);
            // Chebyshev T2 = 2n^2 - 1, T3 = 4n^3 - 3n, T4 = 8n^4 - 8n^2 + 1.
            const Lanes n2 = n * n;
            const Lanes t2 = 2 * n2 - 1;
            const Lanes t3 = (4 * n2 - 3) * n;
            const Lanes t4 = (8 * n2 - 8) * n2 + 1;
            mixed[i] = (t2 + 0.7f * t3 + 0.4f * t4) * envelope;
        }
        for (uint32_t i = 0; i < count; ++i) {
            const Lanes harmonic = s5.process(s4.process(s3.process(mixed[i])));
            const Lanes out = gain != 0 ? input[i] + gain * harmonic : input[i];
            left[start + i] = out[0];
            if (stereo) right[start + i] = out[1];
            peak = max(peak, abs(out));
        }
    }
    s1.save(state, &Channel::bandHigh);
    s2.save(state, &Channel::bandLow);
    s3.save(state, &Channel::harmonicHigh1);
    s4.save(state, &Channel::harmonicHigh2);
    s5.save(state, &Channel::harmonicLow);
    state[0].envelope = envelope[0];
    state[1].envelope = envelope[1];
    return std::max(peak[0], peak[1]);
}

float runPortable(BassHarmonics& harmonics, float* const* data, uint32_t channels, uint32_t frames, float amount)
{
    return run(harmonics, data, channels, frames, amount);
}

#if defined(__x86_64__)
__attribute__((target("avx"))) float runAvx(BassHarmonics& harmonics, float* const* data, uint32_t channels,
                                            uint32_t frames, float amount)
{
    return run(harmonics, data, channels, frames, amount);
}
#endif

using Runner = float (*)(BassHarmonics&, float* const*, uint32_t, uint32_t, float);

Runner chooseRunner()
{
#if defined(__x86_64__)
    if (cpuHasAvxFma()) return runAvx;
#endif
    return runPortable;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Runner runner = chooseRunner();

}  // namespace

float BassHarmonics::process(float* const* data, uint32_t channels, uint32_t frames, float amount) noexcept
{
    return runner(*this, data, channels, frames, amount);
}

float BassHarmonics::process(KernelForm form, float* const* data, uint32_t channels, uint32_t frames,
                             float amount) noexcept
{
#if defined(__x86_64__)
    if (form == KernelForm::wide && cpuHasAvxFma()) return runAvx(*this, data, channels, frames, amount);
#endif
    (void)form;
    return runPortable(*this, data, channels, frames, amount);
}

}  // namespace quorel
