#include "BassHarmonics.h"

#include "CpuFeatures.h"
#include "SampleSanitizing.h"
#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace quorel {

namespace {

// The frequency limited to 0.45 of the rate.
double limited(double frequency, double sampleRate) { return std::min(frequency, 0.45 * sampleRate); }

std::array<double, 5> fiveOf(const BiquadCoefficients& c) { return {c.b0, c.b1, c.b2, c.a1, c.a2}; }

using vectormath::absolute;
using vectormath::Float4;
using vectormath::maximum;
using vectormath::minimum;

// One section for both channels: shared coefficients, per-lane memories (lane c: channel c).
struct Section {
    Float4 b0, b1, b2, a1, a2;  // the same in every lane
    Float4 z1, z2;

    Section(const std::array<BassHarmonics::Channel, 2>& channels, Biquad BassHarmonics::Channel::*member)
    {
        const Biquad& first = channels[0].*member;
        b0 = vectormath::splat(first.b0);
        b1 = vectormath::splat(first.b1);
        b2 = vectormath::splat(first.b2);
        a1 = vectormath::splat(first.a1);
        a2 = vectormath::splat(first.a2);
        z1 = Float4{(channels[0].*member).z1, (channels[1].*member).z1, 0, 0};
        z2 = Float4{(channels[0].*member).z2, (channels[1].*member).z2, 0, 0};
    }

    void save(std::array<BassHarmonics::Channel, 2>& channels, Biquad BassHarmonics::Channel::*member) const
    {
        for (int c = 0; c < 2; ++c) {
            (channels[c].*member).z1 = z1[c];
            (channels[c].*member).z2 = z2[c];
        }
    }

    [[gnu::always_inline]] Float4 process(Float4 x) { return biquadStepShortChain(x, b0, b1, b2, a1, a2, z1, z2); }
};

}  // namespace

std::array<double, 5> BassHarmonics::highPass(double frequency, double q, double sampleRate)
{
    return fiveOf(BiquadCoefficients::highPass(sampleRate, limited(frequency, sampleRate), q));
}

std::array<double, 5> BassHarmonics::lowPass(double frequency, double q, double sampleRate)
{
    return fiveOf(BiquadCoefficients::lowPass(sampleRate, limited(frequency, sampleRate), q));
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
    const double butterworth = BiquadCoefficients::butterworthQ;
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
    Float4 envelope{state[0].envelope, state[1].envelope, 0, 0};
    const Float4 attack = vectormath::splat(harmonics.attackCoefficient);
    const Float4 release = vectormath::splat(harmonics.releaseCoefficient);
    const Float4 floor = vectormath::splat(0.0001f), one = vectormath::splat(1.0f);
    Float4 peak{};
    // Three loops over short chunks, each with a short chain from its input to its result, so
    // the processor overlaps many frames: the 30...110 Hz band; its envelope and the harmonic
    // mix; the harmonics' filters and the sum.
    constexpr uint32_t chunk = 64;
    Float4 input[chunk], band[chunk], mixed[chunk];
    for (uint32_t start = 0; start < frames; start += chunk) {
        const uint32_t count = std::min(chunk, frames - start);
        for (uint32_t i = 0; i < count; ++i) {
            const Float4 x{sanitizedSample(left[start + i]), stereo ? sanitizedSample(right[start + i]) : 0.0f, 0, 0};
            input[i] = x;
            band[i] = s2.process(s1.process(x));
        }
        for (uint32_t i = 0; i < count; ++i) {
            const Float4 level = absolute(band[i]);
            envelope += (level - envelope) * (level > envelope ? attack : release);
            const Float4 n = minimum(maximum(band[i] / maximum(envelope, floor), -one), one);
            // Chebyshev T2 = 2n^2 - 1, T3 = 4n^3 - 3n, T4 = 8n^4 - 8n^2 + 1.
            const Float4 n2 = n * n;
            const Float4 t2 = 2 * n2 - 1;
            const Float4 t3 = (4 * n2 - 3) * n;
            const Float4 t4 = (8 * n2 - 8) * n2 + 1;
            mixed[i] = (t2 + 0.7f * t3 + 0.4f * t4) * envelope;
        }
        for (uint32_t i = 0; i < count; ++i) {
            const Float4 harmonic = s5.process(s4.process(s3.process(mixed[i])));
            const Float4 out = gain != 0 ? input[i] + gain * harmonic : input[i];
            left[start + i] = out[0];
            if (stereo) right[start + i] = out[1];
            peak = maximum(peak, absolute(out));
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
