#pragma once

#include "QRSpectrumStatus.h"
#include "RenderBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>

#include <fftw3.h>

namespace quorel {

// The third-octave analyser a utility unit runs over the mono mix of its input: a 4096-point
// Hann-windowed FFT every 1024 samples (75 % overlap), summed into up to 64 bands of plus or
// minus a sixth of an octave around the given centres. Band values are linear amplitudes: a sine
// of amplitude A whose frequency lies in a band reads A there.
// Control thread: configure(), allocate(), release(), reset(), status(), read(). Render thread:
// feed() while ready(); it never allocates or locks (the FFT plan is made at allocation). Band
// values, lastPower and the counters are atomics the control thread may read at any time (a copy
// may mix two consecutive analyses).
class SpectrumAnalyser {
public:
    static constexpr uint32_t maximumBands = 64;
    static constexpr uint32_t frameLength = 4096;
    static constexpr uint32_t hopLength = 1024;
    static constexpr uint32_t binCount = frameLength / 2;

    SpectrumAnalyser() = default;
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // Takes min(count, 64) centres (none for a null pointer). Does not rebuild.
    void configure(const float* centres, uint32_t count);
    // Releases, then builds the buffers, the FFT plan and the band mapping for the rate. No
    // bands or no positive rate: succeeds without an analyser. False when memory runs out.
    bool allocate(double sampleRate);
    void release();
    // Clears the sample ring, positions and band values; keeps the mapping and the counters.
    void reset() noexcept;

    bool ready() const noexcept { return analyserReady_; }
    uint32_t bandCount() const { return bandCount_; }
    QRSpectrumStatus status() const;
    // Copies min(capacity, bandCount) band values; 0 for a null destination.
    uint32_t read(float* destination, uint32_t capacity) const;

    // Feeds `count` mono samples; transforms at every hop. Real-time safe.
    void feed(const float* samples, uint32_t count) noexcept { feed(samples, count, true); }
    // The same; without `transform` the samples only enter the ring (no transform, no band
    // values). The first call that transforms again after hops went by without one transforms
    // at its end, so the bands are current at once.
    void feed(const float* samples, uint32_t count, bool transform) noexcept;
    // Accounts for `count` samples that are not fed: hops go by as in feed() without transform,
    // and the ring misses the samples until recall(). Real-time safe.
    void skip(uint32_t count) noexcept;
    bool missesSamples() const noexcept { return missing_; }
    // Refills the whole ring with the mean of the channels' last 4096 samples (one or two
    // channels), read from rings of `capacity` samples (more than 4096) whose newest sample lies
    // just before `end`; then transforms when hops went by without one. Real-time safe.
    void recall(const float* const* channels, uint32_t channelCount, uint32_t capacity, uint32_t end) noexcept;

    // FFT bins (inclusive) a band sums, as mapped by the last allocation.
    uint32_t firstBin(uint32_t band) const { return bandLow_[band]; }
    uint32_t lastBin(uint32_t band) const { return bandHigh_[band]; }

private:
    void analyse() noexcept;

    uint32_t bandCount_ = 0;
    std::array<float, maximumBands> bandCentres_{};
    std::array<uint32_t, maximumBands> bandLow_{};
    std::array<uint32_t, maximumBands> bandHigh_{};
    std::array<std::atomic<float>, maximumBands> bandValues_{};
    SampleBuffer analysisRing_;          // the last 4096 samples
    float* analysisFrame_ = nullptr;     // the frame being transformed (FFTW-aligned)
    SampleBuffer window_;                // 4096-point Hann window
    SampleBuffer magnitudes_;            // 2048 squared bin magnitudes
    fftwf_complex* spectrum_ = nullptr;  // bins 0...2048 of the real transform (FFTW-aligned)
    fftwf_plan fft_ = nullptr;
    uint32_t analysisPosition_ = 0;
    uint32_t analysisSinceFFT_ = 0;
    bool analyserReady_ = false;
    bool hopsSkipped_ = false;
    bool missing_ = false;  // skipped samples are not in the ring
    std::atomic<uint64_t> fftRuns_{0};
    std::atomic<uint64_t> samplesFed_{0};
    std::atomic<float> lastPower_{0};
};

}  // namespace quorel
