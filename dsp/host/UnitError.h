#pragma once

#include "AudioUnitStatus.h"

namespace quorel {

// Outcome of an operation that can fail outside the render path (allocation): an error domain
// and a code, as audio-unit hosts report them. A default-constructed value means success.
struct UnitError {
    enum class Domain { none, osStatus, posix };

    Domain domain = Domain::none;
    int32_t code = 0;

    static UnitError osStatus(Status code) { return {Domain::osStatus, code}; }
    static UnitError outOfMemory() { return {Domain::posix, posixOutOfMemory}; }

    bool failed() const { return domain != Domain::none; }
    explicit operator bool() const { return failed(); }
    bool operator==(const UnitError&) const = default;
};

}  // namespace quorel
