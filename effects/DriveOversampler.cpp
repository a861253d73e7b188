#include "DriveOversampler.h"

#include "FirKernel.h"
#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

bool DriveOversampler::allocate(uint32_t factor, uint32_t capacity)
{
    release();
    factor_ = factor == 2 || factor == 4 ? factor : 1;
    capacity_ = capacity;
    coefficients_.fill(0);
    phases_ = {};
    OversamplingFilter::design(factor_, coefficients_.data());
    if (factor_ == 1) {
        history_ = 0;
        stride_ = capacity;
        allocated_ = true;  // factor 1 needs no blocks
        return true;
    }
    constexpr uint32_t taps = OversamplingFilter::taps;
    history_ = (taps - 1) / factor_;
    stride_ = history_ + capacity;
    for (uint32_t phase = 0; phase < factor_; ++phase) {
        Phase& p = phases_[phase];
        p.count = (taps - 1 - phase) / factor_ + 1;
        for (uint32_t j = 0; j < p.count; ++j) {
            const float h = coefficients_[phase + j * factor_];
            p.decimation[j] = h;
            p.interpolation[j] = h * static_cast<float>(factor_);
        }
    }
    allocated_ = buffer_.allocate(static_cast<size_t>(stride_) * (factor_ + 1));
    return allocated_;
}

void DriveOversampler::release()
{
    buffer_.release();
    allocated_ = false;
}

void DriveOversampler::reset() noexcept
{
    if (buffer_)
        buffer_.clear();
}

float DriveOversampler::process(float* samples, uint32_t frames, const DriveCurve& curve) noexcept
{
    sanitizeSamples(samples, frames);
    if (factor_ == 1)
        return curve.shape(samples, frames);

    // Interpolation: phase r of the oversampled signal at frame k is
    // sum_j factor * h[r + j * factor] * x[k - j].
    float* in = input() + history_;
    std::memcpy(in, samples, frames * sizeof(float));
    float activity = 0;
    for (uint32_t phase = 0; phase < factor_; ++phase) {
        float* block = phaseBlock(phase) + history_;
        std::fill(block, block + frames, 0.0f);
        firAccumulate(block, in, phases_[phase].interpolation.data(), phases_[phase].count, frames);
        activity = std::max(activity, curve.shape(block, frames));
    }

    // Decimation: output frame k is the filtered oversampled signal at k * factor:
    // sum_q h[q] s[k * factor - q]; with q = j * factor + d, the sample s[(k - j) * factor - d]
    // lies in phase (factor - d) mod factor, one frame earlier when d > 0.
    std::fill(samples, samples + frames, 0.0f);
    for (uint32_t d = 0; d < factor_; ++d) {
        const uint32_t phase = (factor_ - d) % factor_;
        const float* source = phaseBlock(phase) + history_ - (d > 0 ? 1 : 0);
        firAccumulate(samples, source, phases_[d].decimation.data(), phases_[d].count, frames);
    }

    // Keep the last history_ samples of every block in front of the next one.
    for (uint32_t block = 0; block <= factor_; ++block) {
        float* start = buffer_.data() + static_cast<size_t>(block) * stride_;
        std::memmove(start, start + frames, history_ * sizeof(float));
    }
    return activity;
}

}  // namespace quorel
