#include "RenderResult.h"

#include <cmath>

namespace quorel {

float RenderResult::peak() const
{
    float p = 0;
    for (const auto& channel : channels)
        for (float v : channel) p = std::max(p, std::fabs(v));
    return p;
}

double RenderResult::rms() const
{
    double sum = 0;
    size_t count = 0;
    for (const auto& channel : channels) {
        for (float v : channel) sum += double(v) * double(v);
        count += channel.size();
    }
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

}  // namespace quorel
