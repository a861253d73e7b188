#include "SampleSanitizing.h"

#include <algorithm>

namespace quorel {

namespace {

using namespace sampleVectors;

float peakPortable(const float* samples, uint32_t count)
{
    Float4 peak{};
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Float4 v = load(samples + i);
        const Float4 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestLane(peak);
    for (; i < count; ++i) {
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

float sanitizePortable(float* samples, uint32_t count)
{
    const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
    Float4 peak{};
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Int4 bits;
        __builtin_memcpy(&bits, samples + i, sizeof bits);
        bits = (bits & exponent) == exponent ? Int4{} : bits;
        __builtin_memcpy(samples + i, &bits, sizeof bits);
        Float4 v;
        __builtin_memcpy(&v, &bits, sizeof v);
        const Float4 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    float result = largestLane(peak);
    for (; i < count; ++i) {
        samples[i] = sanitizedSample(samples[i]);
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

#if defined(__x86_64__)
using Float8 = float __attribute__((vector_size(32)));
using Int8 = int32_t __attribute__((vector_size(32)));

// Eight lanes at a time; the rest as the portable form does it.
__attribute__((target("avx2"))) float peakWide(const float* samples, uint32_t count)
{
    Float8 peak{};
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Float8 v;
        __builtin_memcpy(&v, samples + i, sizeof v);
        const Float8 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    const Float4 low = __builtin_shufflevector(peak, peak, 0, 1, 2, 3);
    const Float4 high = __builtin_shufflevector(peak, peak, 4, 5, 6, 7);
    return std::max(largestLane(low > high ? low : high), peakPortable(samples + i, count - i));
}

__attribute__((target("avx2"))) float sanitizeWide(float* samples, uint32_t count)
{
    const Int8 exponent = Int8{} + int32_t(sampleExponentBits);
    Float8 peak{};
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Int8 bits;
        __builtin_memcpy(&bits, samples + i, sizeof bits);
        bits = (bits & exponent) == exponent ? Int8{} : bits;
        __builtin_memcpy(samples + i, &bits, sizeof bits);
        Float8 v;
        __builtin_memcpy(&v, &bits, sizeof v);
        const Float8 magnitude = v < 0 ? -v : v;
        peak = magnitude > peak ? magnitude : peak;
    }
    const Float4 low = __builtin_shufflevector(peak, peak, 0, 1, 2, 3);
    const Float4 high = __builtin_shufflevector(peak, peak, 4, 5, 6, 7);
    return std::max(largestLane(low > high ? low : high), sanitizePortable(samples + i, count - i));
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
    if (form == KernelForm::wide && kernelFormAvailable(KernelForm::wide))
        return wide;
#endif
    (void)form;
    return portable;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Forms& chosen = formsFor(KernelForm::wide);

}  // namespace

float peakMagnitude(const float* samples, uint32_t count) noexcept
{
    return chosen.peak(samples, count);
}

float sanitizeAndMeasure(float* samples, uint32_t count) noexcept
{
    return chosen.sanitize(samples, count);
}

float peakMagnitude(KernelForm form, const float* samples, uint32_t count) noexcept
{
    return formsFor(form).peak(samples, count);
}

float sanitizeAndMeasure(KernelForm form, float* samples, uint32_t count) noexcept
{
    return formsFor(form).sanitize(samples, count);
}

}  // namespace quorel
