#pragma once

#include "AudioFailure.h"
#include "AudioUnitStatus.h"
#include "UnitError.h"

namespace quorel {

// An error of the audio platform (engine, units) as it comes: its domain and code.
AudioFailure platformFailure(const UnitError& error);
AudioFailure platformFailure(Status status);

}  // namespace quorel
