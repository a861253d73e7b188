#include "DriveOversampler.h"

#include "FirKernel.h"
#include "SampleSanitizing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorel {

namespace {

using Int4 = int32_t __attribute__((vector_size(16)));

// out[i] = in[i], or 0 where in[i] is infinite or not a number (its exponent bits all set).
void copySanitized(float* out, const float* in, uint32_t count)
{
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Int4 bits;
        std::memcpy(&bits, in + i, sizeof bits);
        const Int4 exponent = Int4{} + int32_t(sampleExponentBits);
        bits = (bits & exponent) == exponent ? Int4{} : bits;
        std::memcpy(out + i, &bits, sizeof bits);
    }
    for (; i < count; ++i) out[i] = sanitizedSample(in[i]);
}

}  // namespace

bool DriveOversampler::allocate(uint32_t factor, uint32_t capacity)
{
    release();
    factor_ = factor == 2 || factor == 4 ? factor : 1;
    coefficients_.fill(0);
    phases_ = {};
    OversamplingFilter::design(factor_, coefficients_.data());
    if (factor_ == 1) {
        history_ = 0;
        stride_ = 0;
        allocated_ = true;  // factor 1 needs no blocks
        return true;
    }
    constexpr uint32_t taps = OversamplingFilter::taps;
    history_ = (taps - 1) / factor_;
    stride_ = history_ + std::min(capacity, blockFrames);
    for (uint32_t phase = 0; phase < factor_; ++phase) {
        Phase& p = phases_[phase];
        p.count = (taps - 1 - phase) / factor_ + 1;
        for (uint32_t j = 0; j < p.count; ++j) {
            const float h = coefficients_[phase + j * factor_];
            p.decimation[j] = h;
            p.interpolation[j] = h * static_cast<float>(factor_);
        }
        // Leave out the taps at either end that lie on zeros of the sinc (rounding leaves them
        // near 1e-17 instead of 0; they change no output sample).
        const float negligible = 1e-9f * coefficients_[(taps - 1) / 2];
        uint32_t first = 0, last = p.count - 1;
        while (first < last && std::fabs(p.decimation[first]) < negligible) ++first;
        while (last > first && std::fabs(p.decimation[last]) < negligible) --last;
        p.first = first;
        p.used = last - first + 1;
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
    if (buffer_) buffer_.clear();
}

DriveOversampler::Result DriveOversampler::process(float* samples, uint32_t frames, const DriveCurve& curve) noexcept
{
    Result result;
    if (factor_ == 1) {
        copySanitized(samples, samples, frames);
        result.activity = curve.shape(samples, frames);
    } else {
        result.activity = processBlocks(samples, frames, curve);
    }
    result.peak = peakMagnitude(samples, frames);
    return result;
}

float DriveOversampler::processBlocks(float* samples, uint32_t frames, const DriveCurve& curve) noexcept
{
    float activity = 0;
    for (uint32_t start = 0; start < frames; start += blockFrames) {
        const uint32_t count = std::min(blockFrames, frames - start);
        activity = std::max(activity, processBlock(samples + start, count, curve));
    }
    return activity;
}

float DriveOversampler::processBlock(float* samples, uint32_t frames, const DriveCurve& curve) noexcept
{
    // Interpolation: phase r of the oversampled signal at frame k is
    // sum_j factor * h[r + j * factor] * x[k - j].
    float* in = input() + history_;
    copySanitized(in, samples, frames);
    float activity = 0;
    for (uint32_t phase = 0; phase < factor_; ++phase) {
        float* block = phaseBlock(phase) + history_;
        std::fill(block, block + frames, 0.0f);
        const Phase& p = phases_[phase];
        firAccumulate(block, in - p.first, p.interpolation.data() + p.first, p.used, frames);
        activity = std::max(activity, curve.shape(block, frames));
    }

    // Decimation: output frame k is the filtered oversampled signal at k * factor:
    // sum_q h[q] s[k * factor - q]; with q = j * factor + d, the sample s[(k - j) * factor - d]
    // lies in phase (factor - d) mod factor, one frame earlier when d > 0.
    std::fill(samples, samples + frames, 0.0f);
    for (uint32_t d = 0; d < factor_; ++d) {
        const uint32_t phase = (factor_ - d) % factor_;
        const float* source = phaseBlock(phase) + history_ - (d > 0 ? 1 : 0);
        const Phase& p = phases_[d];
        firAccumulate(samples, source - p.first, p.decimation.data() + p.first, p.used, frames);
    }

    // Keep the last history_ samples of every block in front of the next one.
    for (uint32_t block = 0; block <= factor_; ++block) {
        float* start = buffer_.data() + static_cast<size_t>(block) * stride_;
        std::memmove(start, start + frames, history_ * sizeof(float));
    }
    return activity;
}

}  // namespace quorel
