#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace quorel::pipewire {

// When the output device counts as gone. A stopping session manager takes the devices it made
// away, and the next one brings them back under the same names once it runs, however long it
// was down (an update restarts it at its own pace). So the device's grace counts only while a
// session manager runs, from when it went or, if later, from when the one that runs came up:
// a device away with no session manager, or for a moment after a new one started, is not gone.
class OutputGrace {
public:
    using Clock = std::chrono::steady_clock;

    explicit OutputGrace(std::chrono::milliseconds grace) : grace_(grace) {}

    // One look: whether the device is there, whether a session manager runs and which one
    // (PipeWireContext::sessionManagerCount). True once the device counts as gone.
    bool isOver(bool deviceThere, bool managerRuns, uint64_t manager, Clock::time_point now);
    // How long until the device counts as gone unless it comes back; none while the grace
    // does not count.
    std::optional<std::chrono::milliseconds> remaining(Clock::time_point now) const;

private:
    const std::chrono::milliseconds grace_;
    std::optional<Clock::time_point> since_;  // the grace counts from then
    uint64_t manager_ = 0;                    // under this session manager
};

}  // namespace quorel::pipewire
