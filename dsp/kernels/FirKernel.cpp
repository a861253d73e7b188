#include "FirKernel.h"

#include "CpuFeatures.h"
#include "VectorMath.h"

#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quorel {

namespace {

using vectormath::Float4;
using vectormath::load;
using vectormath::store;

// Portable form: 16 outputs in four 4-lane vectors per group, multiply then add.
void firAccumulatePortable(float* out, const float* source, const float* coefficients, uint32_t count, uint32_t frames)
{
    uint32_t k = 0;
    for (; k + 16 <= frames; k += 16) {
        Float4 a0 = load(out + k), a1 = load(out + k + 4);
        Float4 a2 = load(out + k + 8), a3 = load(out + k + 12);
        for (uint32_t j = 0; j < count; ++j) {
            const float* s = source + (static_cast<int64_t>(k) - j);
            const float c = coefficients[j];
            a0 += c * load(s);
            a1 += c * load(s + 4);
            a2 += c * load(s + 8);
            a3 += c * load(s + 12);
        }
        store(out + k, a0);
        store(out + k + 4, a1);
        store(out + k + 8, a2);
        store(out + k + 12, a3);
    }
    for (; k < frames; ++k) {
        float sum = out[k];
        for (uint32_t j = 0; j < count; ++j) sum += coefficients[j] * source[static_cast<int64_t>(k) - j];
        out[k] = sum;
    }
}

#if defined(__x86_64__)
// With AVX and FMA: 64 outputs in eight 8-lane accumulators per group (enough independent sums
// to keep both FMA units busy), then groups of 8, then single outputs, all with fused
// multiply-adds in the same order, so an output does not depend on the group it falls in.
__attribute__((target("avx,fma"))) void firAccumulateFused(float* out, const float* source, const float* coefficients,
                                                           uint32_t count, uint32_t frames)
{
    uint32_t k = 0;
    for (; k + 64 <= frames; k += 64) {
        float* o = out + k;
        __m256 a0 = _mm256_loadu_ps(o), a1 = _mm256_loadu_ps(o + 8);
        __m256 a2 = _mm256_loadu_ps(o + 16), a3 = _mm256_loadu_ps(o + 24);
        __m256 a4 = _mm256_loadu_ps(o + 32), a5 = _mm256_loadu_ps(o + 40);
        __m256 a6 = _mm256_loadu_ps(o + 48), a7 = _mm256_loadu_ps(o + 56);
        for (uint32_t j = 0; j < count; ++j) {
            const float* s = source + (static_cast<int64_t>(k) - j);
            const __m256 c = _mm256_broadcast_ss(coefficients + j);
            a0 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s), a0);
            a1 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 8), a1);
            a2 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 16), a2);
            a3 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 24), a3);
            a4 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 32), a4);
            a5 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 40), a5);
            a6 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 48), a6);
            a7 = _mm256_fmadd_ps(c, _mm256_loadu_ps(s + 56), a7);
        }
        _mm256_storeu_ps(o, a0);
        _mm256_storeu_ps(o + 8, a1);
        _mm256_storeu_ps(o + 16, a2);
        _mm256_storeu_ps(o + 24, a3);
        _mm256_storeu_ps(o + 32, a4);
        _mm256_storeu_ps(o + 40, a5);
        _mm256_storeu_ps(o + 48, a6);
        _mm256_storeu_ps(o + 56, a7);
    }
    for (; k + 8 <= frames; k += 8) {
        __m256 a = _mm256_loadu_ps(out + k);
        for (uint32_t j = 0; j < count; ++j)
            a = _mm256_fmadd_ps(_mm256_broadcast_ss(coefficients + j),
                                _mm256_loadu_ps(source + (static_cast<int64_t>(k) - j)), a);
        _mm256_storeu_ps(out + k, a);
    }
    for (; k < frames; ++k) {
        __m128 sum = _mm_set_ss(out[k]);
        for (uint32_t j = 0; j < count; ++j)
            sum = _mm_fmadd_ss(_mm_set_ss(coefficients[j]), _mm_set_ss(source[static_cast<int64_t>(k) - j]), sum);
        out[k] = _mm_cvtss_f32(sum);
    }
}
#endif

using Kernel = void (*)(float*, const float*, const float*, uint32_t, uint32_t);

Kernel chooseKernel()
{
#if defined(__x86_64__)
    if (cpuHasAvxFma()) return firAccumulateFused;
#endif
    return firAccumulatePortable;
}

// Chosen once when the library is loaded, never on the real-time thread.
const Kernel kernel = chooseKernel();

}  // namespace

void firAccumulate(float* out, const float* source, const float* coefficients, uint32_t count, uint32_t frames)
{
    kernel(out, source, coefficients, count, frames);
}

void firAccumulate(KernelForm form, float* out, const float* source, const float* coefficients, uint32_t count,
                   uint32_t frames)
{
#if defined(__x86_64__)
    if (form == KernelForm::wide && cpuHasAvxFma()) {
        firAccumulateFused(out, source, coefficients, count, frames);
        return;
    }
#endif
    (void)form;
    firAccumulatePortable(out, source, coefficients, count, frames);
}

}  // namespace quorel
