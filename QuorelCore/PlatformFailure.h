#pragma once

#include "AudioFailure.h"
#include "AudioUnitStatus.h"
#include "LocalizedMessage.h"
#include "UnitError.h"

namespace quorel {

// An error of the audio platform (engine, units) as it comes: its code, and "POSIX" for an
// error of the operating system's calls.
LocalizedMessage platformFailureMessage(const UnitError& error);
AudioFailure platformFailure(const UnitError& error);
AudioFailure platformFailure(Status status);

}  // namespace quorel
