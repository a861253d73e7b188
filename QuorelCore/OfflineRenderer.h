#pragma once

#include "DSPSettings.h"
#include "RenderResult.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorel {

// Pushes a test signal through exactly the chain that runs live, without a device: faster than
// real time from the graph's player, or in the graph's real-time mode through its input block,
// chunk by chunk as the device callback feeds it. Failures throw AudioFailure (or the graph's
// and platform's errors) after the graph was stopped.
namespace OfflineRenderer {

RenderResult render(const std::vector<std::vector<float>>& channels, double sampleRate, const DSPSettings& settings,
                    bool processed, std::optional<int64_t> switchAtFrame, bool analyse, double tailSeconds);

RenderResult renderThroughInputNode(const std::vector<std::vector<float>>& channels, double sampleRate,
                                    const DSPSettings& settings, uint32_t chunk);

// The same, taking the channels over, so the render holds the input once beside the output.
// A tail (seconds) that is NaN or makes the output longer than 2^32 - 1 frames is refused.
RenderResult render(std::vector<std::vector<float>>&& channels, double sampleRate, const DSPSettings& settings,
                    bool processed, std::optional<int64_t> switchAtFrame, bool analyse, double tailSeconds);
RenderResult renderThroughInputNode(std::vector<std::vector<float>>&& channels, double sampleRate,
                                    const DSPSettings& settings, uint32_t chunk);

// Gives the render its input piece by piece: fills `next` with the following frames, one
// channel or two of one length, and leaves it without frames at the end. Before each call the
// channels `next` holds are emptied, keeping their memory for the next piece. It throws to
// refuse the input; the render then stops.
using InputSource = std::function<void(std::vector<std::vector<float>>& next)>;
// Takes the output as it is rendered: two channels of `frames` samples. It may throw to stop.
using OutputSink = std::function<void(const float* left, const float* right, uint32_t frames)>;

// The render of `render`, holding neither the whole input nor the whole output: a long file
// is read and written a piece at a time. The result carries no channels.
RenderResult renderStream(const InputSource& source, const OutputSink& sink, double sampleRate, uint32_t channelCount,
                          const DSPSettings& settings, bool processed, std::optional<int64_t> switchAtFrame,
                          bool analyse, double tailSeconds);

}  // namespace OfflineRenderer
}  // namespace quorel
