#include "FirKernel.h"

#include <cstring>

namespace quorel {

namespace {

using Float4 = float __attribute__((vector_size(16)));

inline Float4 load(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

void firAccumulate(float* out, const float* source, const float* coefficients, uint32_t count,
                   uint32_t frames)
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
        for (uint32_t j = 0; j < count; ++j)
            sum += coefficients[j] * source[static_cast<int64_t>(k) - j];
        out[k] = sum;
    }
}

}  // namespace quorel
