#pragma once

#include "AudioUnit.h"

#include <cstdint>
#include <vector>

namespace quorel::test {

using Channels = std::vector<std::vector<float>>;

// Sets both buses to deinterleaved float at `sampleRate` with `channels` channels and allocates;
// returns whether the allocation succeeded.
bool prepareUnit(AudioUnit& unit, double sampleRate, uint32_t channels, uint32_t maximumFrames = 4096);

// One render call: the pull copies `input` (one pointer per channel) into the buffers; `output`
// pointers may be null (the unit then renders into its own buffers, handed back in `list`).
Status renderOnce(AudioUnit& unit, const float* const* input, float* const* output, uint32_t channels, uint32_t frames,
                  RenderActionFlags& flags, AudioBufferList* list = nullptr);

// Renders the whole input in calls of `block` frames; returns the output. Fails the current
// test on a non-zero status.
Channels renderThrough(AudioUnit& unit, const Channels& input, uint32_t block = 512);

// Test signals.
std::vector<float> sine(double frequency, double amplitude, double sampleRate, size_t frames);
std::vector<float> whiteNoise(double amplitude, size_t frames, uint32_t seed);

}  // namespace quorel::test
