#include "UtilityStages.h"

#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

using sampleVectors::Float4;
using sampleVectors::Int4;

using Double2 = double __attribute__((vector_size(16)));

// One group of four of the input stage: invalid samples counted and copied as zeros, their
// magnitudes raising `peak`. Gives the copied samples.
__attribute__((always_inline)) inline Float4 cleanFour(const float* samples, float* copy, Float4& peak, Int4& invalid)
{
    const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
    Int4 bits;
    std::memcpy(&bits, samples, sizeof bits);
    const Int4 bad = (bits & exponent) == exponent;
    invalid -= bad;
    bits = bad ? Int4{} : bits;
    std::memcpy(copy, &bits, sizeof bits);
    Float4 magnitude;
    const Int4 magnitudeBits = bits & 0x7fffffff;
    std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
    peak = magnitude > peak ? magnitude : peak;  // valid samples: the plain maximum
    Float4 y;
    std::memcpy(&y, &bits, sizeof y);
    return y;
}

// One group of four of the output stage: scaled, limited to +-top (Limit, counted), stored, its
// magnitudes raising `peak`. Gives the samples stored.
template <bool Ramp, bool Limit>
__attribute__((always_inline)) inline Float4 scaleFour(float* samples, const float* gains, float gain, Float4 top,
                                                       Float4& peak, Int4& limited)
{
    Float4 y, g = Float4{} + gain;
    std::memcpy(&y, samples, sizeof y);
    if constexpr (Ramp)
        std::memcpy(&g, gains, sizeof g);
    y *= g;
    Float4 magnitude = y < 0 ? -y : y;
    if constexpr (Limit) {
        const Int4 over = magnitude > top;
        limited -= over;
        y = over ? (y < 0 ? -top : top) : y;
        magnitude = over ? top : magnitude;
    }
    std::memcpy(samples, &y, sizeof y);
    peak = magnitude > peak ? magnitude : peak;
    return y;
}

// The input stage's last samples (fewer than four), one at a time from `i`, and its measure
// from the running values the vector loops left: the peak and invalid counts of four lanes and
// the squares as two pairs.
template <bool Squares>
__attribute__((always_inline)) inline InputMeasure finishClean(float* samples, uint32_t i, uint32_t count,
                                                                float* copy, Float4 peak, Int4 invalid,
                                                                Double2 low, Double2 high)
{
    InputMeasure m;
    float top = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m.invalid = uint32_t(invalid[0] + invalid[1] + invalid[2] + invalid[3]);
    for (; i < count; ++i) {
        const bool bad = isInvalidSample(samples[i]);
        m.invalid += bad ? 1u : 0u;
        copy[i] = bad ? 0.0f : samples[i];
        top = std::max(top, std::fabs(copy[i]));
        if constexpr (Squares)
            low[0] += double(copy[i]) * double(copy[i]);
    }
    if (m.invalid != 0)
        sanitizeSamples(samples, count);
    m.peak = top;
    if constexpr (Squares)
        m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// The output stage's last samples, the same way.
template <bool Ramp, bool Limit, bool Squares>
__attribute__((always_inline)) inline OutputMeasure finishScale(float* samples, uint32_t i, uint32_t count,
                                                                 const float* gains, float gain, float ceiling,
                                                                 Float4 peak, Int4 limited, Double2 low,
                                                                 Double2 high)
{
    OutputMeasure m;
    m.peak = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m.guarded = uint32_t(limited[0] + limited[1] + limited[2] + limited[3]);
    for (; i < count; ++i) {
        float y = samples[i] * (Ramp ? gains[i] : gain);
        if (Limit && std::fabs(y) > ceiling) {
            y = std::copysign(ceiling, y);
            ++m.guarded;
        }
        samples[i] = y;
        m.peak = std::max(m.peak, std::fabs(y));
        if constexpr (Squares)
            low[0] += double(y) * double(y);
    }
    if constexpr (Squares)
        m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// The portable loops of both stages: two sets of running values (even and odd groups of four),
// so that the compare and sum chains of neighbouring groups overlap; each keeps its squares as
// two pairs. `four(at, peak)` handles the group at `at` and gives its samples; `finish(i, peak,
// low, high)` takes the samples from `i` on and the running values, and gives the measure.
template <bool Squares, typename Four, typename Finish>
__attribute__((always_inline)) inline auto runPortable(uint32_t count, Four four, Finish finish)
{
    Float4 peakEven{}, peakOdd{};
    Double2 lowEven{}, highEven{}, lowOdd{}, highOdd{};
    auto group = [&](uint32_t at, Float4& peak, Double2& low, Double2& high) __attribute__((always_inline)) {
        const Float4 y = four(at, peak);
        if constexpr (Squares) {
            const Double2 a = {double(y[0]), double(y[1])};
            const Double2 b = {double(y[2]), double(y[3])};
            low += a * a;
            high += b * b;
        }
    };
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        group(i, peakEven, lowEven, highEven);
        group(i + 4, peakOdd, lowOdd, highOdd);
    }
    for (; i + 4 <= count; i += 4)
        group(i, peakEven, lowEven, highEven);
    return finish(i, peakEven > peakOdd ? peakEven : peakOdd, lowEven + lowOdd, highEven + highOdd);
}

// The portable input stage (see cleanAndCopy).
template <bool Squares>
InputMeasure cleanAndCopyAs(float* samples, uint32_t count, float* copy)
{
    Int4 invalid{};
    return runPortable<Squares>(
        count,
        [&](uint32_t at, Float4& peak) __attribute__((always_inline)) {
            return cleanFour(samples + at, copy + at, peak, invalid);
        },
        [&](uint32_t i, Float4 peak, Double2 low, Double2 high) __attribute__((always_inline)) {
            return finishClean<Squares>(samples, i, count, copy, peak, invalid, low, high);
        });
}

// The output stage of one channel in one pass: scales every sample by `gains[i]` (Ramp) or
// `gain`, limits it to +-ceiling (Limit), and measures the result: its peak magnitude, how many
// samples the ceiling limited and the sum of squares in double precision. One copy of the loop
// per case, so none of them tests or holds what it does not use and every running value stays
// in a register.
template <bool Ramp, bool Limit, bool Squares>
OutputMeasure scaleAndMeasureAs(float* samples, uint32_t count, const float* gains, float gain, float ceiling)
{
    Int4 limited{};
    const Float4 top = Float4{} + ceiling;
    return runPortable<Squares>(
        count,
        [&](uint32_t at, Float4& peak) __attribute__((always_inline)) {
            return scaleFour<Ramp, Limit>(samples + at, Ramp ? gains + at : gains, gain, top, peak, limited);
        },
        [&](uint32_t i, Float4 peak, Double2 low, Double2 high) __attribute__((always_inline)) {
            return finishScale<Ramp, Limit, Squares>(samples, i, count, gains, gain, ceiling, peak, limited, low,
                                                     high);
        });
}

#if defined(__x86_64__)
using Float8 = float __attribute__((vector_size(32)));
using Int8 = int32_t __attribute__((vector_size(32)));
using Double4 = double __attribute__((vector_size(32)));

// The portable loops' two groups of four as one group of eight: lanes 0...3 hold the even
// group's running values, lanes 4...7 the odd one's, so the sums come out the same.
template <bool Squares>
__attribute__((target("avx2"))) InputMeasure cleanAndCopyWide(float* samples, uint32_t count, float* copy)
{
    Float8 peak8{};
    Double4 even{}, odd{};
    Int8 invalid8{};
    const Int8 exponent = Int8{} + int32_t(sampleExponentBits);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Int8 bits;
        std::memcpy(&bits, samples + i, sizeof bits);
        const Int8 bad = (bits & exponent) == exponent;
        invalid8 -= bad;
        bits = bad ? Int8{} : bits;
        std::memcpy(copy + i, &bits, sizeof bits);
        Float8 magnitude;
        const Int8 magnitudeBits = bits & 0x7fffffff;
        std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
        peak8 = magnitude > peak8 ? magnitude : peak8;
        if constexpr (Squares) {
            Float8 y;
            std::memcpy(&y, &bits, sizeof y);
            const Double4 a = __builtin_convertvector(__builtin_shufflevector(y, y, 0, 1, 2, 3), Double4);
            const Double4 b = __builtin_convertvector(__builtin_shufflevector(y, y, 4, 5, 6, 7), Double4);
            even += a * a;
            odd += b * b;
        }
    }
    Float4 peak = __builtin_shufflevector(peak8, peak8, 0, 1, 2, 3);
    const Float4 peakOdd = __builtin_shufflevector(peak8, peak8, 4, 5, 6, 7);
    Int4 invalid = __builtin_shufflevector(invalid8, invalid8, 0, 1, 2, 3)
        + __builtin_shufflevector(invalid8, invalid8, 4, 5, 6, 7);
    if (i + 4 <= count) {
        const Float4 y = cleanFour(samples + i, copy + i, peak, invalid);
        if constexpr (Squares) {
            const Double4 a = __builtin_convertvector(y, Double4);
            even += a * a;
        }
        i += 4;
    }
    return finishClean<Squares>(samples, i, count, copy, peak > peakOdd ? peak : peakOdd, invalid,
                                Double2{even[0], even[1]} + Double2{odd[0], odd[1]},
                                Double2{even[2], even[3]} + Double2{odd[2], odd[3]});
}

template <bool Ramp, bool Limit, bool Squares>
__attribute__((target("avx2"))) OutputMeasure scaleAndMeasureWide(float* samples, uint32_t count, const float* gains,
                                                                 float gain, float ceiling)
{
    Float8 peak8{};
    Int8 limited8{};
    Double4 even{}, odd{};
    const Float8 top8 = Float8{} + ceiling;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        Float8 y, g = Float8{} + gain;
        std::memcpy(&y, samples + i, sizeof y);
        if constexpr (Ramp)
            std::memcpy(&g, gains + i, sizeof g);
        y *= g;
        Float8 magnitude = y < 0 ? -y : y;
        if constexpr (Limit) {
            const Int8 over = magnitude > top8;
            limited8 -= over;
            y = over ? (y < 0 ? -top8 : top8) : y;
            magnitude = over ? top8 : magnitude;
        }
        std::memcpy(samples + i, &y, sizeof y);
        peak8 = magnitude > peak8 ? magnitude : peak8;
        if constexpr (Squares) {
            const Double4 a = __builtin_convertvector(__builtin_shufflevector(y, y, 0, 1, 2, 3), Double4);
            const Double4 b = __builtin_convertvector(__builtin_shufflevector(y, y, 4, 5, 6, 7), Double4);
            even += a * a;
            odd += b * b;
        }
    }
    Float4 peak = __builtin_shufflevector(peak8, peak8, 0, 1, 2, 3);
    const Float4 peakOdd = __builtin_shufflevector(peak8, peak8, 4, 5, 6, 7);
    Int4 limited = __builtin_shufflevector(limited8, limited8, 0, 1, 2, 3)
        + __builtin_shufflevector(limited8, limited8, 4, 5, 6, 7);
    const Float4 top = Float4{} + ceiling;
    if (i + 4 <= count) {
        const Float4 y = scaleFour<Ramp, Limit>(samples + i, Ramp ? gains + i : gains, gain, top, peak, limited);
        if constexpr (Squares) {
            const Double4 a = __builtin_convertvector(y, Double4);
            even += a * a;
        }
        i += 4;
    }
    return finishScale<Ramp, Limit, Squares>(samples, i, count, gains, gain, ceiling,
                                             peak > peakOdd ? peak : peakOdd, limited,
                                             Double2{even[0], even[1]} + Double2{odd[0], odd[1]},
                                             Double2{even[2], even[3]} + Double2{odd[2], odd[3]});
}
#endif

using Clean = InputMeasure (*)(float*, uint32_t, float*);
using Scale = OutputMeasure (*)(float*, uint32_t, const float*, float, float);

struct Stages {
    Clean clean[2];        // [squares]
    Scale scale[2][2][2];  // [ramp][limit][squares]
};

constexpr Stages portableStages = {
    {cleanAndCopyAs<false>, cleanAndCopyAs<true>},
    {{{scaleAndMeasureAs<false, false, false>, scaleAndMeasureAs<false, false, true>},
      {scaleAndMeasureAs<false, true, false>, scaleAndMeasureAs<false, true, true>}},
     {{scaleAndMeasureAs<true, false, false>, scaleAndMeasureAs<true, false, true>},
      {scaleAndMeasureAs<true, true, false>, scaleAndMeasureAs<true, true, true>}}}};

#if defined(__x86_64__)
constexpr Stages wideStages = {
    {cleanAndCopyWide<false>, cleanAndCopyWide<true>},
    {{{scaleAndMeasureWide<false, false, false>, scaleAndMeasureWide<false, false, true>},
      {scaleAndMeasureWide<false, true, false>, scaleAndMeasureWide<false, true, true>}},
     {{scaleAndMeasureWide<true, false, false>, scaleAndMeasureWide<true, false, true>},
      {scaleAndMeasureWide<true, true, false>, scaleAndMeasureWide<true, true, true>}}}};
#endif

const Stages& stagesFor(KernelForm form)
{
#if defined(__x86_64__)
    if (form == KernelForm::wide && kernelFormAvailable(KernelForm::wide))
        return wideStages;
#endif
    (void)form;
    return portableStages;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Stages& chosen = stagesFor(KernelForm::wide);

}  // namespace

InputMeasure cleanAndCopy(float* samples, uint32_t count, float* copy, bool squares) noexcept
{
    return chosen.clean[squares](samples, count, copy);
}

InputMeasure cleanAndCopy(KernelForm form, float* samples, uint32_t count, float* copy, bool squares) noexcept
{
    return stagesFor(form).clean[squares](samples, count, copy);
}

OutputMeasure scaleAndMeasure(float* samples, uint32_t count, const float* gains, float gain, float ceiling,
                              bool squares) noexcept
{
    return chosen.scale[gains != nullptr][ceiling > 0][squares](samples, count, gains, gain, ceiling);
}

OutputMeasure scaleAndMeasure(KernelForm form, float* samples, uint32_t count, const float* gains, float gain,
                              float ceiling, bool squares) noexcept
{
    return stagesFor(form).scale[gains != nullptr][ceiling > 0][squares](samples, count, gains, gain, ceiling);
}

}  // namespace quorel
