#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace quorel::test {

inline std::vector<float> sine(double hz, double sampleRate, size_t frames, double amplitude)
{
    std::vector<float> out(frames);
    for (size_t i = 0; i < frames; ++i)
        out[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / sampleRate));
    return out;
}

inline double rms(const std::vector<float>& x, size_t from = 0)
{
    double sum = 0;
    for (size_t i = from; i < x.size(); ++i) sum += double(x[i]) * x[i];
    return x.size() > from ? std::sqrt(sum / double(x.size() - from)) : 0;
}

inline double dB(double ratio) { return 20 * std::log10(ratio); }

// Runs a stereo processor over left/right in blocks.
template <typename Process>
void inBlocks(std::vector<float>& left, std::vector<float>& right, uint32_t block, Process&& p)
{
    for (size_t at = 0; at < left.size(); at += block) {
        const uint32_t n = uint32_t(std::min<size_t>(block, left.size() - at));
        float* channels[2] = {left.data() + at, right.data() + at};
        p(channels, n);
    }
}

}  // namespace quorel::test
