#pragma once

#include "DSPSettings.h"
#include "RenderResult.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorel {

// Pushes a test signal through exactly the chain that runs live, without a device: faster than
// real time from the graph's player, or in the graph's real-time mode through its input block,
// chunk by chunk as the device callback feeds it. Failures throw AudioFailure (or the graph's
// and platform's errors) after the graph was stopped.
namespace OfflineRenderer {

RenderResult render(const std::vector<std::vector<float>>& channels, double sampleRate,
                    const DSPSettings& settings, bool processed,
                    std::optional<int64_t> switchAtFrame, bool analyse, double tailSeconds);

RenderResult renderThroughInputNode(const std::vector<std::vector<float>>& channels,
                                    double sampleRate, const DSPSettings& settings,
                                    uint32_t chunk);

// The same, taking the channels over, so the render holds the input once beside the output.
// A tail (seconds) that is NaN or makes the output longer than 2^32 - 1 frames is refused.
RenderResult render(std::vector<std::vector<float>>&& channels, double sampleRate,
                    const DSPSettings& settings, bool processed,
                    std::optional<int64_t> switchAtFrame, bool analyse, double tailSeconds);
RenderResult renderThroughInputNode(std::vector<std::vector<float>>&& channels,
                                    double sampleRate, const DSPSettings& settings,
                                    uint32_t chunk);

}  // namespace OfflineRenderer
}  // namespace quorel
