#include "ParametricEqualizer.h"

#include "Biquad.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quorel {

namespace {

bool processorHas(ParametricEqualizer::Kernel kernel)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    const bool wide = __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
    if (kernel == ParametricEqualizer::Kernel::wide) return wide;
    if (kernel == ParametricEqualizer::Kernel::wider)
        return wide && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#endif
    return kernel == ParametricEqualizer::Kernel::portable;
}

// Decided once, when the library is loaded.
const bool wideKernel = processorHas(ParametricEqualizer::Kernel::wide);
const bool widerKernel = processorHas(ParametricEqualizer::Kernel::wider);

}  // namespace

ParametricEqualizer::ParametricEqualizer(uint32_t bandCount)
    : count_(std::min(bandCount, maximumBands)), stages_(std::make_unique<Stage[]>(count_)),
      active_(std::make_unique<uint32_t[]>(count_)), packed_(std::make_unique<SectionPair[]>(pairCapacity(count_))),
      pipe_(std::make_unique<Pair[]>(count_ + 1)), frames2_(std::make_unique<double[]>(2 * size_t(wideBlock))),
      kernel_(widerKernel  ? Kernel::wider
              : wideKernel ? Kernel::wide
                           : Kernel::portable)
{
    for (uint32_t i = 0; i < count_; ++i) pending_.filters[i] = design(i, sampleRate_);
    publish();
}

bool ParametricEqualizer::kernelAvailable(Kernel kernel)
{
    return kernel == Kernel::portable || (kernel == Kernel::wide && wideKernel)
           || (kernel == Kernel::wider && widerKernel);
}

void ParametricEqualizer::setKernel(Kernel kernel)
{
    if (kernelAvailable(kernel)) kernel_ = kernel;
}

void ParametricEqualizer::beginUpdate() { design_.hold(); }

void ParametricEqualizer::endUpdate() { design_.release(); }

void ParametricEqualizer::publish() { design_.publish(pending_); }

void ParametricEqualizer::publishBand(uint32_t band)
{
    pending_.filters[band] = design(band, sampleRate_);
    publish();
}

void ParametricEqualizer::publishGlobalGain()
{
    pending_.scaled = globalGain_ != 0;
    pending_.gain = pending_.scaled ? std::pow(10.0f, globalGain_ / 20) : 1.0f;
    publish();
}

void ParametricEqualizer::setType(uint32_t band, Type type)
{
    if (band >= count_) return;
    bands_[band].type = type;
    publishBand(band);
}

void ParametricEqualizer::setFrequency(uint32_t band, float hz)
{
    if (band >= count_ || !std::isfinite(hz)) return;
    bands_[band].frequency = std::max(hz, minimumFrequency);
    publishBand(band);
}

void ParametricEqualizer::setBandwidth(uint32_t band, float octaves)
{
    if (band >= count_ || !std::isfinite(octaves)) return;
    bands_[band].bandwidth = std::clamp(octaves, minimumBandwidth, maximumBandwidth);
    publishBand(band);
}

void ParametricEqualizer::setGain(uint32_t band, float dB)
{
    if (band >= count_ || !std::isfinite(dB)) return;
    bands_[band].gain = std::clamp(dB, minimumGain, maximumGain);
    publishBand(band);
}

void ParametricEqualizer::setBypass(uint32_t band, bool bypass)
{
    if (band >= count_) return;
    bands_[band].bypass = bypass;
    publishBand(band);
}

void ParametricEqualizer::setGlobalGain(float dB)
{
    if (!std::isfinite(dB)) return;
    globalGain_ = std::clamp(dB, minimumGain, maximumGain);
    publishGlobalGain();
}

ParametricEqualizer::Type ParametricEqualizer::type(uint32_t band) const
{
    return band < count_ ? bands_[band].type : Type::parametric;
}
float ParametricEqualizer::frequency(uint32_t band) const { return band < count_ ? bands_[band].frequency : 0; }
float ParametricEqualizer::bandwidth(uint32_t band) const { return band < count_ ? bands_[band].bandwidth : 0; }
float ParametricEqualizer::gain(uint32_t band) const { return band < count_ ? bands_[band].gain : 0; }
bool ParametricEqualizer::bypass(uint32_t band) const { return band < count_ && bands_[band].bypass; }
float ParametricEqualizer::globalGain() const { return globalGain_; }

BiquadCoefficients ParametricEqualizer::design(uint32_t band, double sampleRate) const
{
    if (band >= count_ || bands_[band].bypass) return BiquadCoefficients::identity();
    const Band& b = bands_[band];
    return BiquadCoefficients::design(b.type, sampleRate, b.frequency, b.bandwidth, b.gain);
}

double ParametricEqualizer::magnitudeDB(double sampleRate, double hz) const
{
    double total = globalGain_;
    for (uint32_t i = 0; i < count_; ++i) {
        const BiquadCoefficients c = design(i, sampleRate);
        if (!c.isIdentity()) total += c.magnitudeDB(sampleRate, hz);
    }
    return total;
}

void ParametricEqualizer::prepare(double sampleRate)
{
    sampleRate_ = sampleRate;
    for (uint32_t i = 0; i < count_; ++i) pending_.filters[i] = design(i, sampleRate_);
    publish();
    reset();
}

void ParametricEqualizer::reset()
{
    sounding_ = false;
    for (uint32_t i = 0; i < count_; ++i) stages_[i].s1 = stages_[i].s2 = Pair{0, 0};
    for (uint32_t j = 0; j < pairCapacity(count_); ++j)
        for (int h = 0; h < 2; ++h) packed_[j].s1[h] = packed_[j].s2[h] = Pair{0, 0};
}

namespace {

#if defined(__x86_64__)
// A section pair's fields, in doubles from its start (see SectionPair).
constexpr int b0 = 0, b1 = 4, b2 = 8, a1 = 12, a2 = 16, s1 = 20, s2 = 24, stride = 28;
// Section pairs whose memories and outputs stay in registers through a block (three measured
// fastest; with four the sixteen vector registers run out).
constexpr int groupSize = 3;

// The wide forms run the section of Biquad.h with fused multiply-adds, written out in intrinsics
// so that the 4-lane and the 8-lane form fuse the same operations and agree to the bit.
//
// One wavefront step of a group of G section pairs: lanes [2 j L, 2 j R, 2 j + 1 L, 2 j + 1 R]
// of pair j. Filter 2 j takes what filter 2 j - 1 (the upper half of pair j - 1, or `in` for
// j = 0) produced in the step before, filter 2 j + 1 what filter 2 j did: one lane shuffle per
// pair. From the last pair down, so each reads its inputs before the pair below replaces them.
template <int G>
__attribute__((target("avx,fma"), always_inline)) inline void groupStep(const double* p, __m256d (&m1)[G],
                                                                        __m256d (&m2)[G], __m256d (&y)[G], __m256d in)
{
#pragma GCC unroll 4
    for (int j = G - 1; j >= 0; --j) {
        const double* q = p + stride * j;
        const __m256d x = _mm256_permute2f128_pd(j ? y[j - 1] : in, y[j], 0x21);
        const __m256d out = _mm256_fmadd_pd(_mm256_load_pd(q + b0), x, m1[j]);
        m1[j] = _mm256_fnmadd_pd(_mm256_load_pd(q + a1), out, _mm256_fmadd_pd(_mm256_load_pd(q + b1), x, m2[j]));
        m2[j] = _mm256_fnmadd_pd(_mm256_load_pd(q + a2), out, _mm256_mul_pd(_mm256_load_pd(q + b2), x));
        y[j] = out;
    }
}

// The same at the block's edges, where a filter has no frame yet (step i < its index k) or no
// more (i >= frames + k): there it keeps its memories.
template <int G>
__attribute__((target("avx,fma"), always_inline)) inline void groupEdgeStep(const double* p, __m256d (&m1)[G],
                                                                            __m256d (&m2)[G], __m256d (&y)[G],
                                                                            __m256d in, uint64_t i, uint64_t frames)
{
    __m256d kept1[G], kept2[G];
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) kept1[j] = m1[j], kept2[j] = m2[j];
    groupStep<G>(p, m1, m2, y, in);
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        const bool lower = i >= uint64_t(2 * j) && i < frames + 2 * j;
        const bool upper = i >= uint64_t(2 * j + 1) && i < frames + 2 * j + 1;
        const __m256d works =
            _mm256_castsi256_pd(_mm256_set_epi64x(-int64_t(upper), -int64_t(upper), -int64_t(lower), -int64_t(lower)));
        m1[j] = _mm256_blendv_pd(kept1[j], m1[j], works);
        m2[j] = _mm256_blendv_pd(kept2[j], m2[j], works);
    }
}

// A group of G section pairs over a block of interleaved double frames, in place: frame i - 2 G
// + 1 is written after frame i was read. Each filter does exactly the plain cascade's arithmetic
// (with fused multiply-adds).
template <int G>
__attribute__((target("avx,fma"))) void groupFused(double* p, double* frames2, uint32_t frames)
{
    __m256d m1[G], m2[G], y[G];
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        m1[j] = _mm256_load_pd(p + stride * j + s1);
        m2[j] = _mm256_load_pd(p + stride * j + s2);
        y[j] = _mm256_setzero_pd();
    }
    constexpr uint32_t delay = 2 * G - 1;
    const uint64_t steps = uint64_t(frames) + delay;
    for (uint64_t i = 0; i < steps; ++i) {
        // Frame i enters in the upper half, where filter 0 looks for its input.
        const __m256d in =
            i < frames ? _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(frames2 + 2 * i)) : _mm256_setzero_pd();
        if (i >= delay && i < frames)
            groupStep<G>(p, m1, m2, y, in);
        else
            groupEdgeStep<G>(p, m1, m2, y, in, i, frames);
        if (i >= delay) _mm_storeu_pd(frames2 + 2 * (i - delay), _mm256_extractf128_pd(y[G - 1], 1));
    }
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        _mm256_store_pd(p + stride * j + s1, m1[j]);
        _mm256_store_pd(p + stride * j + s2, m2[j]);
    }
}

// A block of planar float frames into interleaved double frames (a mono block's second lane 0).
__attribute__((target("avx,fma"))) void toFrames(const float* left, const float* right, double* frames2,
                                                 uint32_t frames)
{
    // Four frames at a time: [L0 L1 L2 L3] and [R0 R1 R2 R3] to [L0 R0 L1 R1] [L2 R2 L3 R3].
    uint32_t i = 0;
    for (; right && i + 4 <= frames; i += 4) {
        const __m256d l = _mm256_cvtps_pd(_mm_loadu_ps(left + i)), r = _mm256_cvtps_pd(_mm_loadu_ps(right + i));
        const __m256d low = _mm256_unpacklo_pd(l, r), high = _mm256_unpackhi_pd(l, r);
        _mm256_storeu_pd(frames2 + 2 * i, _mm256_permute2f128_pd(low, high, 0x20));
        _mm256_storeu_pd(frames2 + 2 * i + 4, _mm256_permute2f128_pd(low, high, 0x31));
    }
    for (; i < frames; ++i) {
        frames2[2 * i] = left[i];
        frames2[2 * i + 1] = right ? right[i] : 0.0;
    }
}

// And back.
__attribute__((target("avx,fma"))) void fromFrames(const double* frames2, float* left, float* right, uint32_t frames)
{
    // [L0 R0 L1 R1] [L2 R2 L3 R3] to [L0 L2 L1 L3] and [R0 R2 R1 R3], then in order.
    uint32_t i = 0;
    for (; right && i + 4 <= frames; i += 4) {
        const __m256d a = _mm256_loadu_pd(frames2 + 2 * i), b = _mm256_loadu_pd(frames2 + 2 * i + 4);
        const __m128 l = _mm256_cvtpd_ps(_mm256_unpacklo_pd(a, b));
        const __m128 r = _mm256_cvtpd_ps(_mm256_unpackhi_pd(a, b));
        _mm_storeu_ps(left + i, _mm_shuffle_ps(l, l, _MM_SHUFFLE(3, 1, 2, 0)));
        _mm_storeu_ps(right + i, _mm_shuffle_ps(r, r, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    for (; i < frames; ++i) {
        left[i] = float(frames2[2 * i]);
        if (right) right[i] = float(frames2[2 * i + 1]);
    }
}

// The series in groups of section pairs, each group over the whole block before the next.
void pairGroups(double* packed, uint32_t pairs, double* frames2, uint32_t frames)
{
    for (uint32_t j = 0; j < pairs; j += groupSize) {
        double* p = packed + size_t(stride) * j;
        switch (std::min<uint32_t>(pairs - j, groupSize)) {
        case 1: groupFused<1>(p, frames2, frames); break;
        case 2: groupFused<2>(p, frames2, frames); break;
        default: groupFused<groupSize>(p, frames2, frames); break;
        }
    }
}

// The same four sections at a time, in 8-lane vectors ("quads", laid out as quadGroupFused
// says). Each filter does the same arithmetic as in groupFused, so the output is the same to the
// bit. A group of four quads measured fastest (two and three wait on their own results; with
// five and more the coefficients no longer stay in the 32 vector registers).
constexpr int quadGroupSize = 4;  // quadGroups has a case for each smaller group

// GCC 12's AVX-512 headers fill unused lanes with a self-initialised "undefined" vector, which
// its own uninitialised-use warnings flag once inlined (GCC bug 105593, fixed in GCC 13).
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

template <int G>
struct QuadGroup {
    __m512d b0[G], b1[G], b2[G], a1[G], a2[G], m1[G], m2[G], y[G];
};

template <int G>
__attribute__((target("avx512f,avx512dq"), always_inline)) inline void quadStep(QuadGroup<G>& g, __m512d in)
{
    // Filter G m takes filter G m - 1, the slot below in the last quad (or the frame coming in,
    // lanes 6 and 7 of `in`), taken before that quad moves on.
    const __m512d first =
        _mm512_castsi512_pd(_mm512_alignr_epi64(_mm512_castpd_si512(g.y[G - 1]), _mm512_castpd_si512(in), 6));
#pragma GCC unroll 4
    for (int j = G - 1; j >= 0; --j) {
        const __m512d x = j ? g.y[j - 1] : first;
        const __m512d out = _mm512_fmadd_pd(g.b0[j], x, g.m1[j]);
        g.m1[j] = _mm512_fnmadd_pd(g.a1[j], out, _mm512_fmadd_pd(g.b1[j], x, g.m2[j]));
        g.m2[j] = _mm512_fnmadd_pd(g.a2[j], out, _mm512_mul_pd(g.b2[j], x));
        g.y[j] = out;
    }
}

// One field of filters j, j + G, j + 2 G and j + 3 G of the group from `p` on, as one vector.
template <int G>
__attribute__((target("avx512f,avx512dq"), always_inline)) inline __m512d gatheredField(const double* p, int j,
                                                                                        int field)
{
    auto at = [p, field](int k) { return _mm_load_pd(p + stride * (k / 2) + field + 2 * (k % 2)); };
    __m512d v = _mm512_castpd128_pd512(at(j));
    v = _mm512_insertf64x2(v, at(j + G), 1);
    v = _mm512_insertf64x2(v, at(j + 2 * G), 2);
    return _mm512_insertf64x2(v, at(j + 3 * G), 3);
}

template <int G>
__attribute__((target("avx512f,avx512dq"), always_inline)) inline void scatteredField(double* p, int j, int field,
                                                                                      __m512d v)
{
    _mm_store_pd(p + stride * (j / 2) + field + 2 * (j % 2), _mm512_castpd512_pd128(v));
    _mm_store_pd(p + stride * ((j + G) / 2) + field + 2 * ((j + G) % 2), _mm512_extractf64x2_pd(v, 1));
    _mm_store_pd(p + stride * ((j + 2 * G) / 2) + field + 2 * ((j + 2 * G) % 2), _mm512_extractf64x2_pd(v, 2));
    _mm_store_pd(p + stride * ((j + 3 * G) / 2) + field + 2 * ((j + 3 * G) % 2), _mm512_extractf64x2_pd(v, 3));
}

// A group of G quads over a block of interleaved double frames, in place, as groupFused. Quad j
// holds filters j, j + G, j + 2 G and j + 3 G of the group (lanes [L, R] of each in turn), so a
// filter's input is the same slot of the quad below: one lane shift per step, not one per quad
// (10 % faster than consecutive filters in a quad).
template <int G>
__attribute__((target("avx512f,avx512dq"))) void quadGroupFused(double* p, double* frames2, uint32_t frames)
{
    QuadGroup<G> g;
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        g.b0[j] = gatheredField<G>(p, j, b0), g.b1[j] = gatheredField<G>(p, j, b1);
        g.b2[j] = gatheredField<G>(p, j, b2), g.a1[j] = gatheredField<G>(p, j, a1);
        g.a2[j] = gatheredField<G>(p, j, a2);
        g.m1[j] = gatheredField<G>(p, j, s1), g.m2[j] = gatheredField<G>(p, j, s2);
        g.y[j] = _mm512_setzero_pd();
    }
    constexpr uint32_t delay = 4 * G - 1;
    const uint64_t steps = uint64_t(frames) + delay;
    for (uint64_t i = 0; i < steps; ++i) {
        // Frame i enters in lanes 6 and 7, where filter 0 looks for its input.
        const __m512d in = i < frames ? _mm512_broadcast_f64x2(_mm_loadu_pd(frames2 + 2 * i)) : _mm512_setzero_pd();
        if (i >= delay && i < frames) {
            quadStep<G>(g, in);
        } else {
            // At the block's edges a filter without a frame (step i < its index k, or
            // i >= frames + k) keeps its memories.
            QuadGroup<G> kept = g;
            quadStep<G>(g, in);
#pragma GCC unroll 4
            for (int j = 0; j < G; ++j) {
                __mmask8 works = 0;
                for (int h = 0; h < 4; ++h) {
                    const uint64_t k = uint64_t(j + G * h);
                    if (i >= k && i < frames + k) works |= __mmask8(3u << (2 * h));
                }
                g.m1[j] = _mm512_mask_mov_pd(kept.m1[j], works, g.m1[j]);
                g.m2[j] = _mm512_mask_mov_pd(kept.m2[j], works, g.m2[j]);
            }
        }
        if (i >= delay) _mm_storeu_pd(frames2 + 2 * (i - delay), _mm512_extractf64x2_pd(g.y[G - 1], 3));
    }
#pragma GCC unroll 4
    for (int j = 0; j < G; ++j) {
        scatteredField<G>(p, j, s1, g.m1[j]);
        scatteredField<G>(p, j, s2, g.m2[j]);
    }
}

void quadGroups(double* packed, uint32_t quads, double* frames2, uint32_t frames)
{
    for (uint32_t j = 0; j < quads; j += quadGroupSize) {
        double* p = packed + size_t(stride) * 2 * j;
        switch (std::min<uint32_t>(quads - j, quadGroupSize)) {
        case 1: quadGroupFused<1>(p, frames2, frames); break;
        case 2: quadGroupFused<2>(p, frames2, frames); break;
        case 3: quadGroupFused<3>(p, frames2, frames); break;
        default: quadGroupFused<quadGroupSize>(p, frames2, frames); break;
        }
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// One section alone has no neighbour to overlap with, so its own recurrence sets the pace: a
// form of its own, for the wait it saves. With
// c1 = b1 - a1 b0 and c2 = b2 - a2 b0 the transposed form's first memory follows
//   s1[n] = c1 x[n] + c2 x[n - 1] - a2 s1[n - 2] - a1 s1[n - 1],   y[n] = b0 x[n] + s1[n - 1]
// (the same filter, differing by rounding only), where all but the last term are ready a
// sample early: one multiply-add from one sample to the next instead of two. Both channels go
// through together as the lanes of a vector; the memories stored are the transposed form's.
// Built once for any processor and once for those with fused multiply-adds, which the compiler
// then uses for each a b + c below.
using Lanes = double __attribute__((vector_size(16)));

[[gnu::always_inline]] inline void oneSection(double* section, float* left, float* right, uint32_t frames)
{
    // The first filter of a section pair: field k (b0, b1, b2, a1, a2, s1, s2) at 4 k.
    auto field = [section](int k) {
        Lanes v;
        std::memcpy(&v, section + 4 * k, sizeof v);
        return v;
    };
    const Lanes b0 = field(0), a1 = field(3), a2 = field(4);
    const Lanes c1 = field(1) - a1 * b0, c2 = field(2) - a2 * b0;
    Lanes m[2] = {field(5), field(6)};
    auto input = [&](uint32_t n) { return Lanes{left[n], right ? right[n] : 0.0}; };
    auto output = [&](uint32_t n, Lanes y) {
        left[n] = float(y[0]);
        if (right) right[n] = float(y[1]);
    };
    Lanes x = input(0);
    output(0, b0 * x + m[0]);
    Lanes before = m[0];
    Lanes memory = c1 * x + m[1] - a1 * m[0];
    for (uint32_t n = 1; n < frames; ++n) {
        const Lanes previous = x;
        x = input(n);
        output(n, b0 * x + memory);
        const Lanes next = (c1 * x + c2 * previous - a2 * before) - a1 * memory;
        before = memory;
        memory = next;
    }
    m[0] = memory;
    m[1] = c2 * x - a2 * before;
    std::memcpy(section + 4 * 5, &m[0], sizeof m[0]);
    std::memcpy(section + 4 * 6, &m[1], sizeof m[1]);
}

void oneSectionPlain(double* section, float* left, float* right, uint32_t frames)
{
    oneSection(section, left, right, frames);
}

#if defined(__x86_64__)
__attribute__((target("fma"))) void oneSectionFused(double* section, float* left, float* right, uint32_t frames)
{
    oneSection(section, left, right, frames);
}
#endif

}  // namespace

// A wavefront over the stages: in step i, stage k filters frame i - k, taking what stage k - 1
// produced in the step before. The stages of one step do not wait on each other, so the
// processor overlaps them, where a frame-by-frame pass would wait on every stage in turn; the
// arithmetic per stage and frame is exactly that of the plain cascade. Both channels go through
// together as the two lanes of a Pair (a mono call leaves the second lane at 0). In place:
// frame i - K + 1 is written after frame i was read.
void ParametricEqualizer::processStages(float* left, float* right, uint32_t frames)
{
    const uint32_t count = activeCount_;
    if (count == 0 || frames == 0) return;
    SectionPair* packed = packed_.get();
    const uint32_t pairs = (count + 1) / 2;
    if (count == 1) {
#if defined(__x86_64__)
        if (kernel_ != Kernel::portable)
            oneSectionFused(reinterpret_cast<double*>(packed), left, right, frames);
        else
#endif
            oneSectionPlain(reinterpret_cast<double*>(packed), left, right, frames);
    }
#if defined(__x86_64__)
    else if (kernel_ != Kernel::portable) {
        double* frames2 = frames2_.get();
        for (uint32_t done = 0; done < frames; done += wideBlock) {
            const uint32_t n = std::min(frames - done, wideBlock);
            toFrames(left + done, right ? right + done : nullptr, frames2, n);
            if (kernel_ == Kernel::wider)
                quadGroups(reinterpret_cast<double*>(packed), (pairs + 1) / 2, frames2, n);
            else
                pairGroups(reinterpret_cast<double*>(packed), pairs, frames2, n);
            fromFrames(frames2, left + done, right ? right + done : nullptr, n);
        }
    } else
#endif
    {
        Pair* pipe = pipe_.get();
        const uint64_t steps = uint64_t(frames) + count - 1;
        for (uint64_t i = 0; i < steps; ++i) {
            if (i < frames) pipe[0] = Pair{left[i], right ? right[i] : 0.0};
            const uint32_t first = i >= frames ? uint32_t(i - frames + 1) : 0;
            const uint32_t last = uint32_t(std::min<uint64_t>(count - 1, i));
            for (uint32_t k = last + 1; k-- > first;) {
                SectionPair& sp = packed[k / 2];
                const uint32_t h = k % 2;
                pipe[k + 1] = biquadStep(pipe[k], sp.b0[h], sp.b1[h], sp.b2[h], sp.a1[h], sp.a2[h], sp.s1[h], sp.s2[h]);
            }
            if (i + 1 >= count) {
                const uint64_t f = i + 1 - count;
                left[f] = float(pipe[count][0]);
                if (right) right[f] = float(pipe[count][1]);
            }
        }
    }
    for (uint32_t j = 0; j < pairs + pairs % 2; ++j) {
        for (int h = 0; h < 2; ++h) {
            for (int ch = 0; ch < 2; ++ch) {
                packed[j].s1[h][ch] = flushedMemory(packed[j].s1[h][ch]);
                packed[j].s2[h][ch] = flushedMemory(packed[j].s2[h][ch]);
            }
        }
    }
}

// Render thread, when a new design arrived: takes each band's filter and packs the active ones
// anew, their memories going with them.
void ParametricEqualizer::repack(const Design& design)
{
    for (uint32_t k = 0; k < activeCount_; ++k) {
        Stage& st = stages_[active_[k]];
        st.s1 = packed_[k / 2].s1[k % 2];
        st.s2 = packed_[k / 2].s2[k % 2];
    }
    activeCount_ = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        Stage& st = stages_[i];
        st.c = design.filters[i];
        const bool wasActive = st.active;
        st.active = !st.c.isIdentity();
        if (st.active && !wasActive) st.s1 = st.s2 = Pair{0, 0};
        if (st.active) active_[activeCount_++] = i;
    }
    for (uint32_t k = 0; k < (activeCount_ + 3) / 4 * 4; ++k) {
        SectionPair& sp = packed_[k / 2];
        const uint32_t h = k % 2;
        const Stage* st = k < activeCount_ ? &stages_[active_[k]] : nullptr;
        const BiquadCoefficients c = st ? st->c : BiquadCoefficients::identity();
        sp.b0[h] = Pair{c.b0, c.b0};
        sp.b1[h] = Pair{c.b1, c.b1};
        sp.b2[h] = Pair{c.b2, c.b2};
        sp.a1[h] = Pair{c.a1, c.a1};
        sp.a2[h] = Pair{c.a2, c.a2};
        sp.s1[h] = st ? st->s1 : Pair{0, 0};
        sp.s2[h] = st ? st->s2 : Pair{0, 0};
    }
}

void ParametricEqualizer::stepTowardDesign()
{
    const Design& to = design_.current();
    ++changeStepsDone_;
    if (changeStepsDone_ >= changeSteps) {
        applied_ = to;
    } else {
        const double t = double(changeStepsDone_) / changeSteps;
        const auto part = [t](double from, double target) { return from + (target - from) * t; };
        for (uint32_t i = 0; i < count_; ++i) {
            const BiquadCoefficients& a = changeFrom_.filters[i];
            const BiquadCoefficients& b = to.filters[i];
            // Each step is a stable filter: the stable (a1, a2) form a triangle, which holds
            // every point between two of its points.
            applied_.filters[i] = {part(a.b0, b.b0), part(a.b1, b.b1), part(a.b2, b.b2), part(a.a1, b.a1),
                                   part(a.a2, b.a2)};
        }
        applied_.gain = float(part(changeFrom_.gain, to.gain));
        applied_.scaled = applied_.gain != 1;
    }
    repack(applied_);
}

void ParametricEqualizer::processPiece(float* const* channels, uint32_t channelCount, uint32_t offset, uint32_t frames,
                                       float fromGain)
{
    if (channelCount >= 2)
        processStages(channels[0] + offset, channels[1] + offset, frames);
    else if (channelCount == 1)
        processStages(channels[0] + offset, nullptr, frames);
    const float gain = applied_.gain;
    if (fromGain == gain) {
        if (!applied_.scaled) return;
        for (uint32_t ch = 0; ch < channelCount; ++ch)
            for (uint32_t f = 0; f < frames; ++f) channels[ch][offset + f] *= gain;
        return;
    }
    const float step = (gain - fromGain) / float(frames);
    for (uint32_t ch = 0; ch < channelCount; ++ch)
        for (uint32_t f = 0; f < frames; ++f) channels[ch][offset + f] *= fromGain + step * float(f + 1);
}

void ParametricEqualizer::process(float* const* channels, uint32_t channelCount, uint32_t frames)
{
    if (design_.acquire()) {
        if (sounding_ && changesRamped_) {
            changeFrom_ = applied_;
            changeStepsDone_ = 0;
        } else {
            applied_ = design_.current();
            changeStepsDone_ = changeSteps;
            repack(applied_);
        }
    }
    sounding_ = true;
    uint32_t done = 0;
    while (changeStepsDone_ < changeSteps && done < frames) {
        const uint32_t n = std::min(changeStep, frames - done);
        const float fromGain = applied_.gain;
        stepTowardDesign();
        processPiece(channels, channelCount, done, n, fromGain);
        done += n;
    }
    if (done < frames) processPiece(channels, channelCount, done, frames - done, applied_.gain);
}

}  // namespace quorel
