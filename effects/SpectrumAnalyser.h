#pragma once

#include "QRSpectrumStatus.h"

#include <array>
#include <atomic>
#include <cstdint>

#include <fftw3.h>

namespace quorel {

// Band spectrum of a mono signal: a 4096-point FFT with a Hann window every 1024 samples (75 %
// overlap), summed into up to 64 bands of plus or minus a sixth of an octave around the given
// centres. Band values are linear amplitudes: a sine of amplitude A in a band reads A.
//
// Threads: configure, allocate, release and clear run while nothing feeds the analyser (the unit
// is not rendering); feed runs on the real-time thread and never allocates or locks; the band
// values, lastPower and the counters are atomics the main thread may read at any time (a copy may
// mix two consecutive analyses).
class SpectrumAnalyser {
public:
    static constexpr uint32_t maximumBands = 64;
    static constexpr uint32_t frameLength = 4096;
    static constexpr uint32_t hop = 1024;
    static constexpr uint32_t binCount = frameLength / 2;

    SpectrumAnalyser() = default;
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // Keeps min(count, 64) centres (in Hz); none for a null pointer. Does not rebuild.
    void configure(const float* centres, uint32_t count);

    // Releases what exists, then builds the buffers, the window and the FFT plan and maps the
    // bands to bins. Without bands or with a rate not above 0 it succeeds without an analyser.
    // Returns false when memory or the plan could not be had (nothing is then left allocated).
    bool allocate(double sampleRate);
    void release();

    // Clears the sample ring, its positions and every band value; keeps the mapping and counters.
    void clear();

    // Real-time thread: feeds one mono sample; every 1024th runs an analysis.
    void feed(float sample)
    {
        samplesFed.store(samplesFed.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        analysisRing[analysisPosition] = sample;
        analysisPosition = (analysisPosition + 1) % frameLength;
        if (++analysisSinceFFT == hop) {
            analyse();
            analysisSinceFFT = 0;
        }
    }

    bool ready() const { return analyserReady; }
    QRSpectrumStatus status() const;

    // Copies min(capacity, bandCount) band values into destination; 0 for a null destination.
    uint32_t read(float* destination, uint32_t capacity) const;

    uint32_t bands() const { return bandCount; }
    uint32_t firstBin(uint32_t band) const { return bandLow[band]; }
    uint32_t lastBin(uint32_t band) const { return bandHigh[band]; }

private:
    void analyse();

    uint32_t bandCount = 0;
    std::array<float, maximumBands> bandCentres{};
    std::array<uint32_t, maximumBands> bandLow{};
    std::array<uint32_t, maximumBands> bandHigh{};
    std::array<std::atomic<float>, maximumBands> bandValues{};
    float* analysisRing = nullptr;        // the last 4096 samples
    float* analysisFrame = nullptr;       // the frame being transformed
    float* window = nullptr;              // 4096-point Hann window
    float* magnitudes = nullptr;          // squared bin magnitudes, 2048
    fftwf_complex* spectrum = nullptr;    // 2049 bins of the real transform
    fftwf_plan fft = nullptr;
    uint32_t analysisPosition = 0;
    uint32_t analysisSinceFFT = 0;
    bool analyserReady = false;
    std::atomic<uint64_t> fftRuns{0};
    std::atomic<uint64_t> samplesFed{0};
    std::atomic<float> lastPower{0};
};

}  // namespace quorel
