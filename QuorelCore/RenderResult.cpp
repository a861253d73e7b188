#include "RenderResult.h"

#include <cmath>

namespace quorel {

void LevelSum::add(const float* values, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        peak = std::max(peak, std::fabs(values[i]));
        squares += double(values[i]) * double(values[i]);
    }
    samples += count;
}

double LevelSum::rms() const { return samples ? std::sqrt(squares / double(samples)) : 0.0; }

namespace {

LevelSum levelsOf(const std::vector<std::vector<float>>& channels)
{
    LevelSum sum;
    for (const auto& channel : channels) sum.add(channel.data(), channel.size());
    return sum;
}

}  // namespace

float RenderResult::peak() const { return levelsOf(channels).peak; }

double RenderResult::rms() const { return levelsOf(channels).rms(); }

}  // namespace quorel
