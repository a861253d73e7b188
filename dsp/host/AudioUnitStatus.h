#pragma once

#include "FourCharCode.h"

#include <cstdint>

namespace quorel {

// Every status code of the system, in one table; 0 is success. The effect-unit host's and the
// pull graph's are the well-known audio-unit status codes, so messages and logs read the same as
// on any other audio-unit host. The sound server's are four-character codes as the hardware layer
// names them (HAL::describe shows them between apostrophes: "'stop'").
using Status = int32_t;

namespace status {
inline constexpr Status ok = 0;

// The effect-unit host and the pull graph.
inline constexpr Status parameterError = -50;  // a null unit or a bad argument
inline constexpr Status invalidProperty = -10879;
inline constexpr Status invalidParameter = -10878;  // no parameter with that id
inline constexpr Status invalidElement = -10877;
inline constexpr Status noConnection = -10876;  // render without an input
inline constexpr Status failedInitialization = -10875;
inline constexpr Status tooManyFramesToProcess = -10874;  // more frames than allocated for
inline constexpr Status formatNotSupported = -10868;
inline constexpr Status uninitialized = -10867;  // render before allocation
inline constexpr Status cannotDoInCurrentContext = -10863;
inline constexpr Status initialized = -10849;  // change refused while allocated

// The sound server, its devices and the capture.
inline constexpr Status notRunning = Status(fourCharCode("stop"));        // no sound server (said plainly)
inline constexpr Status badObject = Status(fourCharCode("!obj"));         // no such device
inline constexpr Status unknownProperty = Status(fourCharCode("who?"));   // the object has no such property
inline constexpr Status badPropertySize = Status(fourCharCode("!siz"));   // read as the wrong type
inline constexpr Status unsupported = Status(fourCharCode("unop"));       // not settable, or not supported
inline constexpr Status permission = Status(fourCharCode("!hog"));        // the server refused access
inline constexpr Status illegalOperation = Status(fourCharCode("nope"));  // the server refused the capture
inline constexpr Status unspecified = Status(fourCharCode("what"));       // any other failure, time-outs included
}  // namespace status

// The POSIX code an out-of-memory allocation reports.
inline constexpr int32_t posixOutOfMemory = 12;

}  // namespace quorel
