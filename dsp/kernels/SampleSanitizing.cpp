#include "SampleSanitizing.h"

#include "VectorMath.h"

#include <algorithm>

namespace quorel {

namespace {

using vectormath::Float4;
using vectormath::Int4;
using vectormath::largestLane;

// The loops are written once for a vector of Lanes floats: the 4-lane form runs anywhere, the
// 8-lane form is compiled for AVX2. A tail shorter than a vector goes through the 4-lane form,
// then one sample at a time.
template <int Lanes>
struct Vector;

template <>
struct Vector<4> {
    using Float = Float4;
    using Int = Int4;
};

#if defined(__x86_64__)
template <>
struct Vector<8> {
    using Float = float __attribute__((vector_size(32)));
    using Int = int32_t __attribute__((vector_size(32)));
};
#endif

#pragma GCC diagnostic ignored "-Wpsabi"  // the 8-lane helpers are always inlined

template <typename V>
[[gnu::always_inline]] inline float largestOf(V peak)
{
    if constexpr (sizeof(V) == sizeof(Float4)) {
        return largestLane(peak);
    } else {
        const Float4 low = __builtin_shufflevector(peak, peak, 0, 1, 2, 3);
        const Float4 high = __builtin_shufflevector(peak, peak, 4, 5, 6, 7);
        return largestLane(low > high ? low : high);
    }
}

template <int Lanes>
[[gnu::always_inline]] inline float peakAs(const float* samples, uint32_t count)
{
    using V = typename Vector<Lanes>::Float;
    V peak{};
    uint32_t i = 0;
    for (; i + Lanes <= count; i += Lanes) {
        V v;
        __builtin_memcpy(&v, samples + i, sizeof v);
        const V magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestOf(peak);
    if constexpr (Lanes > 4) return std::max(result, peakAs<4>(samples + i, count - i));
    for (; i < count; ++i) {
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

template <int Lanes>
[[gnu::always_inline]] inline float sanitizeAs(float* samples, uint32_t count)
{
    using V = typename Vector<Lanes>::Float;
    using I = typename Vector<Lanes>::Int;
    const I exponent = I{} + int32_t(sampleExponentBits);
    V peak{};
    uint32_t i = 0;
    for (; i + Lanes <= count; i += Lanes) {
        I bits;
        __builtin_memcpy(&bits, samples + i, sizeof bits);
        bits = (bits & exponent) == exponent ? I{} : bits;
        __builtin_memcpy(samples + i, &bits, sizeof bits);
        V v;
        __builtin_memcpy(&v, &bits, sizeof v);
        const V magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestOf(peak);
    if constexpr (Lanes > 4) return std::max(result, sanitizeAs<4>(samples + i, count - i));
    for (; i < count; ++i) {
        samples[i] = sanitizedSample(samples[i]);
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

float peakPortable(const float* samples, uint32_t count) { return peakAs<4>(samples, count); }
float sanitizePortable(float* samples, uint32_t count) { return sanitizeAs<4>(samples, count); }

#if defined(__x86_64__)
__attribute__((target("avx2"))) float peakWide(const float* samples, uint32_t count)
{
    return peakAs<8>(samples, count);
}
__attribute__((target("avx2"))) float sanitizeWide(float* samples, uint32_t count)
{
    return sanitizeAs<8>(samples, count);
}
#endif

struct Forms {
    float (*peak)(const float*, uint32_t);
    float (*sanitize)(float*, uint32_t);
};

const Forms& formsFor(KernelForm form)
{
    static constexpr Forms portable = {peakPortable, sanitizePortable};
#if defined(__x86_64__)
    static constexpr Forms wide = {peakWide, sanitizeWide};
    if (form == KernelForm::wide && kernelFormAvailable(KernelForm::wide)) return wide;
#endif
    (void)form;
    return portable;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Forms& chosen = formsFor(KernelForm::wide);

}  // namespace

float peakMagnitude(const float* samples, uint32_t count) noexcept { return chosen.peak(samples, count); }

float sanitizeAndMeasure(float* samples, uint32_t count) noexcept { return chosen.sanitize(samples, count); }

float peakMagnitude(KernelForm form, const float* samples, uint32_t count) noexcept
{
    return formsFor(form).peak(samples, count);
}

float sanitizeAndMeasure(KernelForm form, float* samples, uint32_t count) noexcept
{
    return formsFor(form).sanitize(samples, count);
}

}  // namespace quorel
