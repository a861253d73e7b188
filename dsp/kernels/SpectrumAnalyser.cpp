#include "SpectrumAnalyser.h"

#include "VectorMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

namespace quorel {

namespace {

// FFTW's planner is not thread-safe; only executing a finished plan is.
std::mutex& plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Energies are kept on the scale of a real FFT that returns twice the mathematical transform
// (squared magnitudes four times ours), the scale analysers commonly work on. There a sine of
// amplitude A gives a band energy of A^2 times the frame length times the sum of the squared
// window (3/8 of the frame): A^2 * 4096 * 1536.
constexpr float doubledTransform = 4.0f;
constexpr double energyPerSquaredAmplitude = 4096.0 * 1536.0;

// Ratio of a band edge to its centre: 2^(1/6).
constexpr double sixthOctaveDown = 0.8908987181403393;
constexpr double sixthOctaveUp = 1.122462048309373;

using vectormath::Float4;
using vectormath::load;
using vectormath::store;

// out[n] = a[n] * b[n].
void multiply(float* out, const float* a, const float* b, uint32_t count)
{
    uint32_t n = 0;
    for (; n + 4 <= count; n += 4) store(out + n, load(a + n) * load(b + n));
    for (; n < count; ++n) out[n] = a[n] * b[n];
}

// out[k] = scale * (re^2 + im^2) of bins 0...count - 1 (count a multiple of 2).
void squaredMagnitudes(float* out, const fftwf_complex* bins, uint32_t count, float scale)
{
    const float* pairs = bins[0];
    for (uint32_t k = 0; k + 4 <= count; k += 4) {
        const Float4 first = load(pairs + 2 * k), second = load(pairs + 2 * k + 4);
        const Float4 a = first * first, b = second * second;
        const Float4 re = __builtin_shufflevector(a, b, 0, 2, 4, 6);
        const Float4 im = __builtin_shufflevector(a, b, 1, 3, 5, 7);
        store(out + k, (re + im) * scale);
    }
    for (uint32_t k = count & ~3u; k < count; ++k) out[k] = scale * (bins[k][0] * bins[k][0] + bins[k][1] * bins[k][1]);
}

// Sum in double, in four independent partial sums so the additions overlap.
double sum(const float* values, uint32_t count)
{
    double partial[4] = {0, 0, 0, 0};
    uint32_t k = 0;
    for (; k + 4 <= count; k += 4)
        for (uint32_t lane = 0; lane < 4; ++lane) partial[lane] += values[k + lane];
    for (; k < count; ++k) partial[0] += values[k];
    return (partial[0] + partial[1]) + (partial[2] + partial[3]);
}

// A bin position computed in double as an integer; absurd centres stay in range.
int64_t toBin(double position)
{
    if (std::isnan(position)) return 0;
    return static_cast<int64_t>(std::clamp(position, -1e9, 1e9));
}

}  // namespace

SpectrumAnalyser::~SpectrumAnalyser() { release(); }

void SpectrumAnalyser::configure(const float* centres, uint32_t count)
{
    bandCount_ = centres ? std::min(count, maximumBands) : 0;
    std::copy_n(centres ? centres : bandCentres_.data(), bandCount_, bandCentres_.begin());
}

bool SpectrumAnalyser::allocate(double sampleRate)
{
    release();
    if (!(sampleRate > 0) || bandCount_ == 0) return true;

    // Zero-filled on allocation, which touches every page before the render thread does.
    bool allocated =
        analysisRing_.allocate(frameLength) && window_.allocate(frameLength) && magnitudes_.allocate(binCount);
    analysisFrame_ = fftwf_alloc_real(frameLength);
    spectrum_ = fftwf_alloc_complex(binCount + 1);
    allocated = allocated && analysisFrame_ && spectrum_;
    if (allocated) {
        std::lock_guard lock(plannerMutex());
        fft_ = fftwf_plan_dft_r2c_1d(frameLength, analysisFrame_, spectrum_, FFTW_ESTIMATE);
    }
    if (!allocated || !fft_) {
        release();
        return false;
    }

    for (uint32_t n = 0; n < frameLength; ++n)
        window_[n] = static_cast<float>(0.5 * (1 - std::cos(2 * std::numbers::pi * n / frameLength)));
    // Warm up: one transform of a cleared frame, so the first analysis meets warm memory.
    std::fill_n(analysisFrame_, frameLength, 0.0f);
    std::memset(spectrum_, 0, sizeof(fftwf_complex) * (binCount + 1));
    fftwf_execute(fft_);

    const double binWidth = sampleRate / frameLength;
    for (uint32_t band = 0; band < bandCount_; ++band) {
        const double centre = bandCentres_[band];
        int64_t low = toBin(std::ceil(centre * sixthOctaveDown / binWidth));
        int64_t high = toBin(std::floor(centre * sixthOctaveUp / binWidth));
        if (low > high)  // a band narrower than a bin: the bin of its centre
            low = high = toBin(std::round(centre / binWidth));
        low = std::min<int64_t>(std::max<int64_t>(low, 1), binCount - 1);
        high = std::max<int64_t>(std::min<int64_t>(high, binCount - 1), low);
        bandLow_[band] = static_cast<uint32_t>(low);
        bandHigh_[band] = static_cast<uint32_t>(high);
        bandValues_[band].store(0);
    }
    analysisPosition_ = 0;
    analysisSinceFFT_ = 0;
    analyserReady_ = true;
    return true;
}

void SpectrumAnalyser::release()
{
    analyserReady_ = false;
    analysisRing_.release();
    window_.release();
    magnitudes_.release();
    fftwf_free(analysisFrame_);
    fftwf_free(spectrum_);
    analysisFrame_ = nullptr;
    spectrum_ = nullptr;
    if (fft_) {
        std::lock_guard lock(plannerMutex());
        fftwf_destroy_plan(fft_);
        fft_ = nullptr;
    }
}

void SpectrumAnalyser::reset() noexcept
{
    if (analysisRing_) analysisRing_.clear();
    analysisPosition_ = 0;
    analysisSinceFFT_ = 0;
    hopsSkipped_ = false;
    missing_ = false;
    for (std::atomic<float>& value : bandValues_) value.store(0);
}

QRSpectrumStatus SpectrumAnalyser::status() const
{
    return {bandCount_, analyserReady_, fftRuns_.load(), samplesFed_.load(), lastPower_.load()};
}

uint32_t SpectrumAnalyser::read(float* destination, uint32_t capacity) const
{
    if (!destination) return 0;
    const uint32_t count = std::min(capacity, bandCount_);
    for (uint32_t band = 0; band < count; ++band) destination[band] = bandValues_[band].load();
    return count;
}

void SpectrumAnalyser::feed(const float* samples, uint32_t count, bool transform) noexcept
{
    if (!analyserReady_) return;
    samplesFed_.fetch_add(count, std::memory_order_relaxed);
    while (count > 0) {
        // Up to the next hop and never past the end of the ring (the hop divides the ring).
        const uint32_t chunk = std::min(count, hopLength - analysisSinceFFT_);
        std::memcpy(analysisRing_.data() + analysisPosition_, samples, chunk * sizeof(float));
        analysisPosition_ = (analysisPosition_ + chunk) % frameLength;
        analysisSinceFFT_ += chunk;
        samples += chunk;
        count -= chunk;
        if (analysisSinceFFT_ == hopLength) {
            if (transform) analyse();
            hopsSkipped_ = !transform;
            analysisSinceFFT_ = 0;
        }
    }
    if (transform && hopsSkipped_) {
        analyse();
        hopsSkipped_ = false;
    }
}

void SpectrumAnalyser::skip(uint32_t count) noexcept
{
    if (!analyserReady_ || count == 0) return;
    samplesFed_.fetch_add(count, std::memory_order_relaxed);
    missing_ = true;
    analysisPosition_ = uint32_t((uint64_t(analysisPosition_) + count) % frameLength);
    const uint64_t sinceFFT = uint64_t(analysisSinceFFT_) + count;
    hopsSkipped_ = hopsSkipped_ || sinceFFT >= hopLength;
    analysisSinceFFT_ = uint32_t(sinceFFT % hopLength);
}

void SpectrumAnalyser::recall(const float* const* channels, uint32_t channelCount, uint32_t capacity,
                              uint32_t end) noexcept
{
    if (!analyserReady_ || channelCount < 1 || channelCount > 2 || capacity <= frameLength || end > capacity) return;
    // The ring's oldest sample sits at the write position; the channels' oldest wanted sample
    // frameLength samples before `end`.
    const float* left = channels[0];
    const float* right = channelCount == 2 ? channels[1] : nullptr;
    float* ring = analysisRing_.data();
    uint32_t from = (end + capacity - frameLength) % capacity;
    uint32_t to = analysisPosition_;
    for (uint32_t done = 0; done < frameLength;) {
        const uint32_t piece = std::min({frameLength - done, capacity - from, frameLength - to});
        if (right)
            for (uint32_t i = 0; i < piece; ++i)
                ring[to + i] = (left[from + i] + right[from + i]) * 0.5f;  // the mean of the two channels
        else
            std::memcpy(ring + to, left + from, piece * sizeof(float));
        done += piece;
        from = (from + piece) % capacity;
        to = (to + piece) % frameLength;
    }
    missing_ = false;
    if (hopsSkipped_) {
        analyse();
        hopsSkipped_ = false;
    }
}

void SpectrumAnalyser::analyse() noexcept
{
    // The frame oldest sample first, windowed on the way (4 samples at a time).
    const float* ring = analysisRing_.data();
    const float* window = window_.data();
    float* frame = analysisFrame_;
    const uint32_t older = frameLength - analysisPosition_;
    multiply(frame, ring + analysisPosition_, window, older);
    multiply(frame + older, ring, window + older, analysisPosition_);
    fftwf_execute(fft_);

    // Bins 0...2047: bin 0 holds the DC term only, the Nyquist term is left out.
    squaredMagnitudes(magnitudes_.data(), spectrum_, binCount, doubledTransform);

    const float* magnitudes = magnitudes_.data();
    double total = 0;
    for (uint32_t band = 0; band < bandCount_; ++band) {
        const double energy = sum(magnitudes + bandLow_[band], bandHigh_[band] - bandLow_[band] + 1);
        bandValues_[band].store(static_cast<float>(std::sqrt(energy / energyPerSquaredAmplitude)),
                                std::memory_order_relaxed);
        total += energy;
    }
    lastPower_.store(static_cast<float>(total), std::memory_order_relaxed);
    fftRuns_.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace quorel
