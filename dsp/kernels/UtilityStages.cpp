#include "UtilityStages.h"

#include "SampleSanitizing.h"
#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace quorel {

namespace {

using vectormath::Float4;
using vectormath::Int4;

using Double2 = double __attribute__((vector_size(16)));
using Double4 = double __attribute__((vector_size(32)));

// The loops are written once for a vector of 4 or 8 floats: the 4-lane form runs anywhere, the
// 8-lane form is compiled for AVX2. The helpers are always inlined into the form that uses
// them, so the note that an 8-lane vector would be passed differently without AVX concerns no
// call that exists.
#pragma GCC diagnostic ignored "-Wpsabi"
#define QUOREL_KERNEL [[gnu::always_inline]] inline

template <typename V>
using IntsOf = decltype(V{} < V{});

// One group of the input stage: invalid samples counted and copied as zeros, their magnitudes
// raising `peak`. Gives the copied samples.
template <typename V>
QUOREL_KERNEL V cleanGroup(const float* samples, float* copy, V& peak, IntsOf<V>& invalid)
{
    using I = IntsOf<V>;
    const I exponent = I{} + int32_t(sampleExponentBits);
    I bits;
    std::memcpy(&bits, samples, sizeof bits);
    const I bad = (bits & exponent) == exponent;
    invalid -= bad;
    bits = bad ? I{} : bits;
    std::memcpy(copy, &bits, sizeof bits);
    V magnitude;
    const I magnitudeBits = bits & 0x7fffffff;
    std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
    peak = magnitude > peak ? magnitude : peak;  // valid samples: the plain maximum
    V y;
    std::memcpy(&y, &bits, sizeof y);
    return y;
}

// One group of the output stage: scaled, limited to +-ceiling (Limit, counted), stored, its
// magnitudes raising `peak`. Gives the samples stored.
template <bool Ramp, bool Limit, typename V>
QUOREL_KERNEL V scaleGroup(float* samples, const float* gains, float gain, float ceiling, V& peak, IntsOf<V>& limited)
{
    V y, g = V{} + gain;
    std::memcpy(&y, samples, sizeof y);
    if constexpr (Ramp) std::memcpy(&g, gains, sizeof g);
    y *= g;
    V magnitude = y < 0 ? -y : y;
    if constexpr (Limit) {
        const V top = V{} + ceiling;
        const IntsOf<V> over = magnitude > top;
        limited -= over;
        y = over ? (y < 0 ? -top : top) : y;
        magnitude = over ? top : magnitude;
    }
    std::memcpy(samples, &y, sizeof y);
    peak = magnitude > peak ? magnitude : peak;
    return y;
}

// What a loop keeps while it runs over groups of a vector V: the peak, a count (invalid or
// limited samples) and the squares of the first and second half of the lanes, in double
// precision.
template <typename V>
struct Running {
    static constexpr int lanes = sizeof(V) / sizeof(float);
    using Half = std::conditional_t<lanes == 4, Double2, Double4>;

    V peak{};
    IntsOf<V> count{};
    Half first{}, second{};

    QUOREL_KERNEL void addSquares(V y)
    {
        Half a, b;
        if constexpr (lanes == 4) {
            a = __builtin_convertvector(__builtin_shufflevector(y, y, 0, 1), Half);
            b = __builtin_convertvector(__builtin_shufflevector(y, y, 2, 3), Half);
        } else {
            a = __builtin_convertvector(__builtin_shufflevector(y, y, 0, 1, 2, 3), Half);
            b = __builtin_convertvector(__builtin_shufflevector(y, y, 4, 5, 6, 7), Half);
        }
        first += a * a;
        second += b * b;
    }
};

// The loop of both stages in both forms, so that they compute the same values bit for bit: two
// sets of running values of four lanes (even and odd groups of four), so that the compare and
// sum chains of neighbouring groups overlap, each keeping its squares as two pairs. The 8-lane
// form holds both sets in one vector (lanes 0...3 the even groups, 4...7 the odd ones).
// `group(at, peak, count)` handles the group at `at` (of the vector type of `peak`) and gives
// its samples; `finish(i, peak, count, low, high)` takes the samples from `i` on and the running
// values, and gives the measure.
template <int Lanes, bool Squares, typename Group, typename Finish>
QUOREL_KERNEL auto runStage(uint32_t count, Group group, Finish finish)
{
    Running<Float4> even, odd;
    const auto step = [&](uint32_t at, auto& running) __attribute__((always_inline))
    {
        const auto y = group(at, running.peak, running.count);
        if constexpr (Squares) running.addSquares(y);
    };
    uint32_t i = 0;
    if constexpr (Lanes == 4) {
        for (; i + 8 <= count; i += 8) {
            step(i, even);
            step(i + 4, odd);
        }
    } else {
        using Float8 = float __attribute__((vector_size(32)));
        Running<Float8> both;
        for (; i + 8 <= count; i += 8) step(i, both);
        even.peak = __builtin_shufflevector(both.peak, both.peak, 0, 1, 2, 3);
        odd.peak = __builtin_shufflevector(both.peak, both.peak, 4, 5, 6, 7);
        even.count = __builtin_shufflevector(both.count, both.count, 0, 1, 2, 3);
        odd.count = __builtin_shufflevector(both.count, both.count, 4, 5, 6, 7);
        even.first = __builtin_shufflevector(both.first, both.first, 0, 1);
        even.second = __builtin_shufflevector(both.first, both.first, 2, 3);
        odd.first = __builtin_shufflevector(both.second, both.second, 0, 1);
        odd.second = __builtin_shufflevector(both.second, both.second, 2, 3);
    }
    if (i + 4 <= count) {
        step(i, even);
        i += 4;
    }
    return finish(i, even.peak > odd.peak ? even.peak : odd.peak, even.count + odd.count, even.first + odd.first,
                  even.second + odd.second);
}

// The input stage's last samples (fewer than four), one at a time from `i`, and its measure
// from the running values the vector loop left: the peak and invalid counts of four lanes and
// the squares as two pairs.
template <bool Squares>
QUOREL_KERNEL InputMeasure finishClean(float* samples, uint32_t i, uint32_t count, float* copy, Float4 peak,
                                       Int4 invalid, Double2 low, Double2 high)
{
    InputMeasure m;
    float top = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    m.invalid = uint32_t(invalid[0] + invalid[1] + invalid[2] + invalid[3]);
    for (; i < count; ++i) {
        const bool bad = isInvalidSample(samples[i]);
        m.invalid += bad ? 1u : 0u;
        copy[i] = bad ? 0.0f : samples[i];
        top = std::max(top, std::fabs(copy[i]));
        if constexpr (Squares) low[0] += double(copy[i]) * double(copy[i]);
    }
    if (m.invalid != 0) sanitizeSamples(samples, count);
    m.peak = top;
    if constexpr (Squares) m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// The output stage's last samples, the same way.
template <bool Ramp, bool Limit, bool Squares>
QUOREL_KERNEL OutputMeasure finishScale(float* samples, uint32_t i, uint32_t count, const float* gains, float gain,
                                        float ceiling, Float4 peak, Int4 limited, Double2 low, Double2 high)
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
        if constexpr (Squares) low[0] += double(y) * double(y);
    }
    if constexpr (Squares) m.squares = (low[0] + low[1]) + (high[0] + high[1]);
    return m;
}

// The input stage (see cleanAndCopy).
template <int Lanes, bool Squares>
QUOREL_KERNEL InputMeasure cleanAndCopyAs(float* samples, uint32_t count, float* copy)
{
    return runStage<Lanes, Squares>(
        count,
        [&](uint32_t at, auto& peak, auto& invalid)
            __attribute__((always_inline)) { return cleanGroup(samples + at, copy + at, peak, invalid); },
        [&](uint32_t i, Float4 peak, Int4 invalid, Double2 low, Double2 high) __attribute__((always_inline)) {
            return finishClean<Squares>(samples, i, count, copy, peak, invalid, low, high);
        });
}

// The output stage of one channel in one pass: scales every sample by `gains[i]` (Ramp) or
// `gain`, limits it to +-ceiling (Limit), and measures the result: its peak magnitude, how many
// samples the ceiling limited and the sum of squares in double precision. One copy of the loop
// per case, so none of them tests or holds what it does not use and every running value stays
// in a register.
template <int Lanes, bool Ramp, bool Limit, bool Squares>
QUOREL_KERNEL OutputMeasure scaleAndMeasureAs(float* samples, uint32_t count, const float* gains, float gain,
                                              float ceiling)
{
    return runStage<Lanes, Squares>(
        count,
        [&](uint32_t at, auto& peak, auto& limited) __attribute__((always_inline)) {
            return scaleGroup<Ramp, Limit>(samples + at, Ramp ? gains + at : gains, gain, ceiling, peak, limited);
        },
        [&](uint32_t i, Float4 peak, Int4 limited, Double2 low, Double2 high) __attribute__((always_inline)) {
            return finishScale<Ramp, Limit, Squares>(samples, i, count, gains, gain, ceiling, peak, limited, low, high);
        });
}

template <bool Squares>
InputMeasure cleanAndCopyPortable(float* samples, uint32_t count, float* copy)
{
    return cleanAndCopyAs<4, Squares>(samples, count, copy);
}

template <bool Ramp, bool Limit, bool Squares>
OutputMeasure scaleAndMeasurePortable(float* samples, uint32_t count, const float* gains, float gain, float ceiling)
{
    return scaleAndMeasureAs<4, Ramp, Limit, Squares>(samples, count, gains, gain, ceiling);
}

#if defined(__x86_64__)
template <bool Squares>
__attribute__((target("avx2"))) InputMeasure cleanAndCopyWide(float* samples, uint32_t count, float* copy)
{
    return cleanAndCopyAs<8, Squares>(samples, count, copy);
}

template <bool Ramp, bool Limit, bool Squares>
__attribute__((target("avx2"))) OutputMeasure scaleAndMeasureWide(float* samples, uint32_t count, const float* gains,
                                                                  float gain, float ceiling)
{
    return scaleAndMeasureAs<8, Ramp, Limit, Squares>(samples, count, gains, gain, ceiling);
}
#endif

using Clean = InputMeasure (*)(float*, uint32_t, float*);
using Scale = OutputMeasure (*)(float*, uint32_t, const float*, float, float);

struct Stages {
    Clean clean[2];        // [squares]
    Scale scale[2][2][2];  // [ramp][limit][squares]
};

constexpr Stages portableStages = {
    {cleanAndCopyPortable<false>, cleanAndCopyPortable<true>},
    {{{scaleAndMeasurePortable<false, false, false>, scaleAndMeasurePortable<false, false, true>},
      {scaleAndMeasurePortable<false, true, false>, scaleAndMeasurePortable<false, true, true>}},
     {{scaleAndMeasurePortable<true, false, false>, scaleAndMeasurePortable<true, false, true>},
      {scaleAndMeasurePortable<true, true, false>, scaleAndMeasurePortable<true, true, true>}}}};

#if defined(__x86_64__)
constexpr Stages wideStages = {{cleanAndCopyWide<false>, cleanAndCopyWide<true>},
                               {{{scaleAndMeasureWide<false, false, false>, scaleAndMeasureWide<false, false, true>},
                                 {scaleAndMeasureWide<false, true, false>, scaleAndMeasureWide<false, true, true>}},
                                {{scaleAndMeasureWide<true, false, false>, scaleAndMeasureWide<true, false, true>},
                                 {scaleAndMeasureWide<true, true, false>, scaleAndMeasureWide<true, true, true>}}}};
#endif

const Stages& stagesFor(KernelForm form)
{
#if defined(__x86_64__)
    if (form == KernelForm::wide && kernelFormAvailable(KernelForm::wide)) return wideStages;
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
