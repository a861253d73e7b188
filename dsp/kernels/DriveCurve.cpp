#include "DriveCurve.h"

#include "CpuFeatures.h"
#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

// The block kernels are written once for a vector of Lanes floats; the 4-lane form runs
// anywhere, the 8-lane form is compiled for AVX2 with FMA and chosen when the processor has it.
template <int Lanes>
struct Vector;

template <>
struct Vector<4> {
    typedef float Float __attribute__((vector_size(16)));
    typedef int32_t Int __attribute__((vector_size(16)));
};

template <>
struct Vector<8> {
    typedef float Float __attribute__((vector_size(32)));
    typedef int32_t Int __attribute__((vector_size(32)));
};

// The helpers are always inlined into the kernel that uses them, so the note that an 8-lane
// vector would be passed differently without AVX concerns no call that exists.
#pragma GCC diagnostic ignored "-Wpsabi"
#define QUOREL_KERNEL [[gnu::always_inline]] inline

template <typename V>
QUOREL_KERNEL V splat(float x)
{
    return V{} + x;
}

template <typename V>
QUOREL_KERNEL V load(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename V>
QUOREL_KERNEL void store(float* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

template <typename V, typename I>
QUOREL_KERNEL V absolute(V v)
{
    I bits;
    std::memcpy(&bits, &v, sizeof v);
    bits &= 0x7fffffff;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

template <typename V>
QUOREL_KERNEL V maximum(V a, V b)
{
    return a > b ? a : b;
}

template <typename V>
QUOREL_KERNEL V minimum(V a, V b)
{
    return a < b ? a : b;
}

// e^x for x <= 0 (the dynamics' vector exponential, the argument limited to 0): arguments below
// -87 give e^-87.
template <typename V, typename I>
QUOREL_KERNEL V exponentialNegative(V x)
{
    x = minimum(x, splat<V>(0.0f));
    vectormath::exponential(x);
    return x;
}

// tanh(x) for x >= 0 as (1 - e^-2x) / (1 + e^-2x).
template <typename V, typename I>
QUOREL_KERNEL V tanhPositive(V x)
{
    const V e = exponentialNegative<V, I>(x * -2.0f);
    return (1.0f - e) / (1.0f + e);
}

// Above the knee: |v| -> t + (1 - t) tanh((|v| - t) / (1 - t)), sign kept.
template <typename V, typename I>
QUOREL_KERNEL V bend(V v, float knee, float span, float inverseSpan)
{
    const V magnitude = absolute<V, I>(v);
    const V bent = knee + span * tanhPositive<V, I>((magnitude - knee) * inverseSpan);
    const V shaped = magnitude > knee ? bent : magnitude;
    return v < 0 ? -shaped : shaped;
}

// Pass 1 drives the block and finds its largest magnitude; pass 2 bends what lies above the
// knee (only when something does) and scales back to the ceiling. A tail shorter than a vector
// goes through a zero-padded vector.
template <int Lanes>
QUOREL_KERNEL float shapeBlock(float* samples, uint32_t count, float drive, float ceiling, float knee)
{
    using V = typename Vector<Lanes>::Float;
    using I = typename Vector<Lanes>::Int;
    const uint32_t whole = count - count % Lanes;
    V largest = splat<V>(0.0f);
    for (uint32_t i = 0; i < whole; i += Lanes) {
        const V v = load<V>(samples + i) * drive;
        largest = maximum(largest, absolute<V, I>(v));
        store(samples + i, v);
    }
    float peak = 0;
    for (int lane = 0; lane < Lanes; ++lane) peak = std::max(peak, largest[lane]);
    for (uint32_t i = whole; i < count; ++i) {
        samples[i] *= drive;
        peak = std::max(peak, std::fabs(samples[i]));
    }
    if (peak > knee) {
        const float span = 1 - knee, inverseSpan = 1 / (1 - knee);
        for (uint32_t i = 0; i < whole; i += Lanes)
            store(samples + i, bend<V, I>(load<V>(samples + i), knee, span, inverseSpan) * ceiling);
        if (whole < count) {
            float tail[Lanes] = {};
            std::memcpy(tail, samples + whole, (count - whole) * sizeof(float));
            store(tail, bend<V, I>(load<V>(tail), knee, span, inverseSpan) * ceiling);
            std::memcpy(samples + whole, tail, (count - whole) * sizeof(float));
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) samples[i] *= ceiling;
    }
    return peak;
}

float shapePortable(float* samples, uint32_t count, float drive, float ceiling, float knee)
{
    return shapeBlock<4>(samples, count, drive, ceiling, knee);
}

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) float shapeFused(float* samples, uint32_t count, float drive, float ceiling,
                                                     float knee)
{
    return shapeBlock<8>(samples, count, drive, ceiling, knee);
}
#endif

using Kernel = float (*)(float*, uint32_t, float, float, float);

Kernel chooseKernel()
{
#if defined(__x86_64__)
    if (cpuHasAvx2Fma()) return shapeFused;
#endif
    return shapePortable;
}

const Kernel kernel = chooseKernel();

}  // namespace

float driveTanh(float x)
{
    using V = Vector<4>::Float;
    return tanhPositive<V, Vector<4>::Int>(splat<V>(x))[0];
}

DriveCurve DriveCurve::make(float amount, float ceiling)
{
    DriveCurve curve;
    curve.amount = std::clamp(amount, 0.0f, 1.0f);
    curve.ceiling = std::clamp(ceiling, 0.1f, 1.0f);
    curve.gain = std::pow(10.0f, 6 * curve.amount / 20);
    curve.knee = 1 - 0.5f * curve.amount;
    return curve;
}

float DriveCurve::shapeSample(float sample) const
{
    if (amount <= 0) return sample;
    float v = sample * gain / ceiling;
    const float magnitude = std::fabs(v);
    if (magnitude > knee) {
        const float span = 1 - knee;
        v = std::copysign(knee + span * std::tanh((magnitude - knee) / span), v);
    }
    return v * ceiling;
}

float DriveCurve::shape(float* samples, uint32_t count) const
{
    if (amount <= 0) return 0;
    return kernel(samples, count, gain / ceiling, ceiling, knee);
}

float DriveCurve::shape(KernelForm form, float* samples, uint32_t count) const
{
    if (amount <= 0) return 0;
#if defined(__x86_64__)
    if (form == KernelForm::wide && cpuHasAvx2Fma()) return shapeFused(samples, count, gain / ceiling, ceiling, knee);
#endif
    (void)form;
    return shapePortable(samples, count, gain / ceiling, ceiling, knee);
}

}  // namespace quorel
