#pragma once

#include "AudioBufferList.h"
#include "AudioUnitStatus.h"

#include <cstdint>

namespace quorel {

// The device side of QRSystemIO: a duplex audio device that calls an input/output procedure
// on its own real-time thread with the captured input and the output to fill. `resumed` marks
// the first call after the device's cycles stopped for a while (nothing played) and started
// again: what was in flight before the stop is not to be heard.
class QRAudioDevice {
public:
    using IOProc = void (*)(void* context, const AudioBufferList* input, AudioBufferList* output, bool resumed);

    virtual ~QRAudioDevice() = default;

    // Registers `proc`; on success `procID` is non-zero.
    virtual Status createIOProc(IOProc proc, void* context, uint64_t& procID) = 0;
    virtual Status startIOProc(uint64_t procID) = 0;
    // After stopIOProc returns, `proc` is no longer running and will not be called again.
    virtual void stopIOProc(uint64_t procID) = 0;
    virtual void destroyIOProc(uint64_t procID) = 0;
};

}  // namespace quorel
