#pragma once

#include "AudioBufferList.h"
#include "AudioUnitStatus.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace quorel {

// Flags a render call carries in and out.
using RenderActionFlags = uint32_t;
namespace renderFlags {
inline constexpr RenderActionFlags outputIsSilence = 16;
}

// Position of a render call on the stream's timeline.
struct AudioTimeStamp {
    double sampleTime = 0;
    uint64_t hostTime = 0;
    uint32_t flags = 0;
};

// The pull-input callback a render call receives: fills `data` with `frames` frames of the
// unit's input bus. A non-owning reference to any callable; copying it never allocates, so it
// can be made and passed on the real-time thread. Empty means "no input connected".
class PullInput {
public:
    PullInput() = default;

    template <typename Callable>
    requires(!std::is_same_v<std::remove_cvref_t<Callable>, PullInput>)
        PullInput(Callable& callable)  // NOLINT: implicit, like a function reference
        : context_(static_cast<void*>(&callable)),
          call_([](void* context, RenderActionFlags& flags, const AudioTimeStamp& timestamp, uint32_t frames,
                   int64_t inputBusNumber, AudioBufferList& data) -> Status {
              return (*static_cast<Callable*>(context))(flags, timestamp, frames, inputBusNumber, data);
          })
    {
    }

    explicit operator bool() const { return call_ != nullptr; }

    Status operator()(RenderActionFlags& flags, const AudioTimeStamp& timestamp, uint32_t frames,
                      int64_t inputBusNumber, AudioBufferList& data) const
    {
        return call_(context_, flags, timestamp, frames, inputBusNumber, data);
    }

private:
    using Call = Status (*)(void*, RenderActionFlags&, const AudioTimeStamp&, uint32_t, int64_t, AudioBufferList&);
    void* context_ = nullptr;
    Call call_ = nullptr;
};

}  // namespace quorel
