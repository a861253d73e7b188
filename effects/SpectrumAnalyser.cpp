#include "SpectrumAnalyser.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

namespace quorel {

namespace {

// FFTW's planner is not thread-safe; only the execution of a finished plan is.
std::mutex& plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Sum of the squared Hann window (3/8 of the frame) times the frame length. A real FFT that
// returns twice the mathematical transform, as analysers commonly use, gives squared magnitudes
// four times ours; the energies below are kept on that scale, so a sine of amplitude A gives
// a band energy of A^2 * 6291456.
constexpr double energyScale = 4096.0 * 1536.0;
constexpr float transformScale = 4.0f;  // squared magnitude of a doubled transform

// Ratio of a band edge to its centre: 2^(1/6).
constexpr double sixthOctaveDown = 0.8908987181403393;
constexpr double sixthOctaveUp = 1.122462048309373;

// Converts a bin position computed in double to an integer, keeping absurd centres in range.
int64_t toBin(double position)
{
    if (std::isnan(position))
        return 0;
    return static_cast<int64_t>(std::clamp(position, -1e9, 1e9));
}

}  // namespace

SpectrumAnalyser::~SpectrumAnalyser() { release(); }

void SpectrumAnalyser::configure(const float* centres, uint32_t count)
{
    bandCount = centres ? std::min(count, maximumBands) : 0;
    for (uint32_t band = 0; band < bandCount; ++band)
        bandCentres[band] = centres[band];
}

bool SpectrumAnalyser::allocate(double sampleRate)
{
    release();
    if (!(sampleRate > 0) || bandCount == 0)
        return true;

    analysisRing = fftwf_alloc_real(frameLength);
    analysisFrame = fftwf_alloc_real(frameLength);
    window = fftwf_alloc_real(frameLength);
    magnitudes = fftwf_alloc_real(binCount);
    spectrum = fftwf_alloc_complex(binCount + 1);
    if (!analysisRing || !analysisFrame || !window || !magnitudes || !spectrum) {
        release();
        return false;
    }
    {
        std::lock_guard lock(plannerMutex());
        fft = fftwf_plan_dft_r2c_1d(frameLength, analysisFrame, spectrum, FFTW_MEASURE);
    }
    if (!fft) {
        release();
        return false;
    }

    for (uint32_t n = 0; n < frameLength; ++n)
        window[n] = static_cast<float>(0.5 * (1 - std::cos(2 * std::numbers::pi * n / frameLength)));
    // Zero everything (which touches every page) and run one transform, so the first analysis on
    // the real-time thread meets warm memory.
    std::fill_n(analysisRing, frameLength, 0.0f);
    std::fill_n(analysisFrame, frameLength, 0.0f);
    std::fill_n(magnitudes, binCount, 0.0f);
    std::memset(spectrum, 0, sizeof(fftwf_complex) * (binCount + 1));
    fftwf_execute(fft);

    const double binWidth = sampleRate / frameLength;
    for (uint32_t band = 0; band < bandCount; ++band) {
        const double centre = bandCentres[band];
        int64_t lo = toBin(std::ceil(centre * sixthOctaveDown / binWidth));
        int64_t hi = toBin(std::floor(centre * sixthOctaveUp / binWidth));
        if (lo > hi)
            lo = hi = toBin(std::round(centre / binWidth));
        lo = std::min<int64_t>(std::max<int64_t>(lo, 1), binCount - 1);
        hi = std::max<int64_t>(std::min<int64_t>(hi, binCount - 1), lo);
        bandLow[band] = static_cast<uint32_t>(lo);
        bandHigh[band] = static_cast<uint32_t>(hi);
        bandValues[band].store(0);
    }
    analysisPosition = 0;
    analysisSinceFFT = 0;
    analyserReady = true;
    return true;
}

void SpectrumAnalyser::release()
{
    analyserReady = false;
    fftwf_free(analysisRing);
    fftwf_free(analysisFrame);
    fftwf_free(window);
    fftwf_free(magnitudes);
    fftwf_free(spectrum);
    analysisRing = analysisFrame = window = magnitudes = nullptr;
    spectrum = nullptr;
    if (fft) {
        std::lock_guard lock(plannerMutex());
        fftwf_destroy_plan(fft);
        fft = nullptr;
    }
}

void SpectrumAnalyser::clear()
{
    if (analysisRing)
        std::fill_n(analysisRing, frameLength, 0.0f);
    analysisPosition = 0;
    analysisSinceFFT = 0;
    for (auto& value : bandValues)
        value.store(0);
}

QRSpectrumStatus SpectrumAnalyser::status() const
{
    return {bandCount, analyserReady, fftRuns.load(), samplesFed.load(), lastPower.load()};
}

uint32_t SpectrumAnalyser::read(float* destination, uint32_t capacity) const
{
    if (!destination)
        return 0;
    const uint32_t count = std::min(capacity, bandCount);
    for (uint32_t band = 0; band < count; ++band)
        destination[band] = bandValues[band].load(std::memory_order_relaxed);
    return count;
}

void SpectrumAnalyser::analyse()
{
    // Oldest sample first.
    const uint32_t older = frameLength - analysisPosition;
    std::memcpy(analysisFrame, analysisRing + analysisPosition, older * sizeof(float));
    std::memcpy(analysisFrame + older, analysisRing, analysisPosition * sizeof(float));
    for (uint32_t n = 0; n < frameLength; ++n)
        analysisFrame[n] *= window[n];
    fftwf_execute(fft);
    // Bin 0 holds the DC term only; the Nyquist term is left out.
    for (uint32_t k = 0; k < binCount; ++k)
        magnitudes[k] = transformScale * (spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1]);
    double total = 0;
    for (uint32_t band = 0; band < bandCount; ++band) {
        double energy = 0;
        for (uint32_t k = bandLow[band]; k <= bandHigh[band]; ++k)
            energy += magnitudes[k];
        bandValues[band].store(static_cast<float>(std::sqrt(energy / energyScale)),
                               std::memory_order_relaxed);
        total += energy;
    }
    lastPower.store(static_cast<float>(total), std::memory_order_relaxed);
    fftRuns.store(fftRuns.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace quorel
