#pragma once

#include <cstdint>

namespace quorel {

// Status codes of the effect-unit host. The values are the well-known audio-unit status codes,
// so messages and logs read the same as on any other audio-unit host.
using Status = int32_t;

namespace status {
inline constexpr Status ok = 0;
inline constexpr Status parameterError = -50;               // a null unit or a bad argument
inline constexpr Status invalidProperty = -10879;
inline constexpr Status invalidParameter = -10878;          // no parameter with that id
inline constexpr Status invalidElement = -10877;
inline constexpr Status noConnection = -10876;              // render without an input
inline constexpr Status failedInitialization = -10875;
inline constexpr Status tooManyFramesToProcess = -10874;    // more frames than allocated for
inline constexpr Status formatNotSupported = -10868;
inline constexpr Status uninitialized = -10867;             // render before allocation
inline constexpr Status cannotDoInCurrentContext = -10863;
inline constexpr Status initialized = -10849;               // change refused while allocated
}  // namespace status

// The POSIX code an out-of-memory allocation reports.
inline constexpr int32_t posixOutOfMemory = 12;

}  // namespace quorel
