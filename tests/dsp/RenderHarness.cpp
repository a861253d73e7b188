#include "RenderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace quorel::test {

bool prepareUnit(AudioUnit& unit, double sampleRate, uint32_t channels, uint32_t maximumFrames)
{
    const AudioFormat format = AudioFormat::standard(sampleRate, channels);
    if (unit.inputBus().setFormat(format) != status::ok || unit.outputBus().setFormat(format) != status::ok
        || unit.setMaximumFramesToRender(maximumFrames) != status::ok)
        return false;
    return !unit.allocateRenderResources().failed();
}

Status renderOnce(AudioUnit& unit, const float* const* input, float* const* output, uint32_t channels, uint32_t frames,
                  RenderActionFlags& flags, AudioBufferList* list)
{
    AudioBufferList local;
    AudioBufferList& buffers = list ? *list : local;
    buffers.numberBuffers = channels;
    for (uint32_t channel = 0; channel < channels; ++channel)
        buffers.buffers[channel].data = output ? output[channel] : nullptr;
    auto pull = [input, channels](RenderActionFlags&, const AudioTimeStamp&, uint32_t count, int64_t,
                                  AudioBufferList& data) -> Status {
        for (uint32_t channel = 0; channel < channels; ++channel)
            std::copy_n(input[channel], count, data.buffers[channel].samples());
        return status::ok;
    };
    const AudioTimeStamp timestamp;
    return unit.render(flags, timestamp, frames, 0, buffers, pull);
}

Channels renderThrough(AudioUnit& unit, const Channels& input, uint32_t block)
{
    const auto channels = uint32_t(input.size());
    const size_t length = input.empty() ? 0 : input[0].size();
    Channels output(channels, std::vector<float>(length));
    for (size_t start = 0; start < length; start += block) {
        const auto frames = uint32_t(std::min<size_t>(block, length - start));
        const float* in[2] = {};
        float* out[2] = {};
        for (uint32_t channel = 0; channel < channels; ++channel) {
            in[channel] = input[channel].data() + start;
            out[channel] = output[channel].data() + start;
        }
        RenderActionFlags flags = 0;
        const Status result = renderOnce(unit, in, out, channels, frames, flags);
        EXPECT_EQ(result, status::ok);
        if (result != status::ok) break;
    }
    return output;
}

std::vector<float> sine(double frequency, double amplitude, double sampleRate, size_t frames)
{
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = float(amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / sampleRate));
    return samples;
}

std::vector<float> whiteNoise(double amplitude, size_t frames, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> distribution(-amplitude, amplitude);
    std::vector<float> samples(frames);
    for (float& sample : samples) sample = float(distribution(generator));
    return samples;
}

}  // namespace quorel::test
