#pragma once

#include "QRSpectrumStatus.h"
#include "RenderBuffer.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace quorel {

// The third-octave analyser a utility unit runs over the mono mix of its input: a 4096-point
// Hann-windowed FFT every 1024 samples, summed into up to 64 bands around the given centres.
// Control thread: configure(), allocate(), release(), reset(), status(), read(). Render thread:
// feed() while ready().
class SpectrumAnalyser {
public:
    static constexpr uint32_t maximumBands = 64;
    static constexpr uint32_t frameLength = 4096;
    static constexpr uint32_t hopLength = 1024;

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
    void feed(const float* samples, uint32_t count) noexcept;

private:
    uint32_t bandCount_ = 0;
    std::array<float, maximumBands> bandCentres_{};
    std::array<uint32_t, maximumBands> bandLow_{};
    std::array<uint32_t, maximumBands> bandHigh_{};
    std::array<std::atomic<float>, maximumBands> bandValues_{};
    SampleBuffer analysisRing_;
    uint32_t analysisPosition_ = 0;
    uint32_t analysisSinceFFT_ = 0;
    bool analyserReady_ = false;
    std::atomic<uint64_t> fftRuns_{0};
    std::atomic<uint64_t> samplesFed_{0};
    std::atomic<float> lastPower_{0};
};

}  // namespace quorel
