#include "CompressorCurve.h"

#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

float CompressorCurve::ratio() const
{
    if (!(headroom > 0)) return 1;
    return 1 + std::fabs(threshold) / headroom;
}

bool CompressorCurve::isNeutral() const { return ratio() == 1 && !(expansionRatio > 1); }

float CompressorCurve::gainDB(float levelDB) const
{
    float gain = 0;
    const float slope = 1 - 1 / ratio();
    if (slope > 0) {
        const float over = levelDB - threshold;
        if (over >= kneeDB / 2)
            gain -= over * slope;
        else if (over > -kneeDB / 2)
            gain -= (over + kneeDB / 2) * (over + kneeDB / 2) / (2 * kneeDB) * slope;
    }
    if (expansionRatio > 1 && levelDB < expansionThreshold)
        gain -= std::min((expansionThreshold - levelDB) * (expansionRatio - 1), 120.0f);
    return gain;
}

namespace {

using Float8 = float __attribute__((vector_size(32)));
using Float16 = float __attribute__((vector_size(64)));

// What gains() works with, derived once per call.
struct GainShape {
    float threshold, slope, expansionThreshold, expansionRatio, makeupDB;
    bool compresses, expands;
};

// The level in dB becomes the linear gain, in place (see CompressorCurve::gains).
template <typename V>
[[gnu::always_inline]] inline void gainOf(const GainShape& s, V& level)
{
    constexpr float knee = CompressorCurve::kneeDB;
    constexpr float ln10Over20 = 0.11512925465f;
    const V zero{};
    V gain = zero;
    if (s.compresses) {
        const V over = level - s.threshold;
        const V inKnee = over + knee / 2;
        const V above = zero - over * s.slope;
        const V inside = zero - inKnee * inKnee / (2 * knee) * s.slope;
        gain = over >= knee / 2 ? above : (over > -knee / 2 ? inside : zero);
    }
    if (s.expands) {
        V pushed = (s.expansionThreshold - level) * (s.expansionRatio - 1);
        pushed = pushed < 120.0f ? pushed : zero + 120.0f;
        gain = level < s.expansionThreshold ? gain - pushed : gain;
    }
    level = (gain + s.makeupDB) * ln10Over20;
    vectormath::exponential(level);
}

// As many levels at a time as V has lanes; the last few go through padded lanes, so no level
// depends on the block's cut.
template <typename V>
[[gnu::always_inline]] inline void gainsOf(const GainShape& s, const float* levelsDB, float* gains, uint32_t count)
{
    constexpr uint32_t lanes = sizeof(V) / sizeof(float);
    const uint32_t whole = count - count % lanes;
    V v;
    for (uint32_t i = 0; i < whole; i += lanes) {
        std::memcpy(&v, levelsDB + i, sizeof v);
        gainOf(s, v);
        std::memcpy(gains + i, &v, sizeof v);
    }
    if (whole < count) {
        float padded[lanes] = {};
        for (uint32_t i = whole; i < count; ++i) padded[i - whole] = levelsDB[i];
        std::memcpy(&v, padded, sizeof v);
        gainOf(s, v);
        std::memcpy(padded, &v, sizeof v);
        for (uint32_t i = whole; i < count; ++i) gains[i] = padded[i - whole];
    }
}

void gains4(const GainShape& s, const float* levelsDB, float* gains, uint32_t count)
{
    gainsOf<vectormath::Float4>(s, levelsDB, gains, count);
}

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) void gains8(const GainShape& s, const float* levelsDB, float* gains, uint32_t count)
{
    gainsOf<Float8>(s, levelsDB, gains, count);
}

__attribute__((target("avx512f"))) void gains16(const GainShape& s, const float* levelsDB, float* gains, uint32_t count)
{
    gainsOf<Float16>(s, levelsDB, gains, count);
}
#endif

using GainsForm = void (*)(const GainShape&, const float*, float*, uint32_t);

// The widest form the processor runs, decided once when the library is loaded.
GainsForm chooseGains()
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return gains16;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return gains8;
#endif
    return gains4;
}

const GainsForm gainsForm = chooseGains();

}  // namespace

void CompressorCurve::gains(const float* levelsDB, float* gains, uint32_t count, float makeupDB) const
{
    const float slope = 1 - 1 / ratio();
    gainsForm({threshold, slope, expansionThreshold, expansionRatio, makeupDB, slope > 0, expansionRatio > 1}, levelsDB,
              gains, count);
}

}  // namespace quorel
