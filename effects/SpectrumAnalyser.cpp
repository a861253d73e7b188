#include "SpectrumAnalyser.h"

#include <algorithm>

namespace quorel {

// Band analysis is added separately; until then allocate() leaves the analyser off and the
// unit only counts what it is fed.

SpectrumAnalyser::~SpectrumAnalyser()
{
    release();
}

void SpectrumAnalyser::configure(const float* centres, uint32_t count)
{
    bandCount_ = centres ? std::min(count, maximumBands) : 0;
    std::copy_n(centres ? centres : bandCentres_.data(), bandCount_, bandCentres_.begin());
}

bool SpectrumAnalyser::allocate(double /*sampleRate*/)
{
    release();
    return true;
}

void SpectrumAnalyser::release()
{
    analyserReady_ = false;
    analysisRing_.release();
}

void SpectrumAnalyser::reset() noexcept
{
    if (analysisRing_)
        analysisRing_.clear();
    analysisPosition_ = 0;
    analysisSinceFFT_ = 0;
    for (std::atomic<float>& value : bandValues_)
        value.store(0);
}

QRSpectrumStatus SpectrumAnalyser::status() const
{
    return {bandCount_, analyserReady_, fftRuns_.load(), samplesFed_.load(), lastPower_.load()};
}

uint32_t SpectrumAnalyser::read(float* destination, uint32_t capacity) const
{
    if (!destination)
        return 0;
    const uint32_t count = std::min(capacity, bandCount_);
    for (uint32_t band = 0; band < count; ++band)
        destination[band] = bandValues_[band].load();
    return count;
}

void SpectrumAnalyser::feed(const float* /*samples*/, uint32_t count) noexcept
{
    samplesFed_.fetch_add(count, std::memory_order_relaxed);
}

}  // namespace quorel
