#pragma once

#include <cstdint>

namespace quorel {

enum class ManualRenderingMode { offline, realtime };

// The outcome of one manual render call.
enum class ManualRenderingStatus : int32_t {
    error = -1,
    success = 0,
    insufficientDataFromInputNode = 1,
    cannotDoInCurrentContext = 2,
};

}  // namespace quorel
