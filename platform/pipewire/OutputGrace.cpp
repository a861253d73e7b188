#include "OutputGrace.h"

#include <algorithm>

namespace quorel::pipewire {

bool OutputGrace::isOver(bool deviceThere, bool managerRuns, uint64_t manager, Clock::time_point now)
{
    if (deviceThere || !managerRuns) {
        since_.reset();
        return false;
    }
    if (!since_ || manager != manager_) {
        since_ = now;
        manager_ = manager;
    }
    return now - *since_ >= grace_;
}

std::optional<std::chrono::milliseconds> OutputGrace::remaining(Clock::time_point now) const
{
    if (!since_) return std::nullopt;
    return std::max(grace_ - std::chrono::duration_cast<std::chrono::milliseconds>(now - *since_),
                    std::chrono::milliseconds(0));
}

}  // namespace quorel::pipewire
