#pragma once

#include "AudioBufferList.h"
#include "AudioUnitStatus.h"

#include <cstdint>

namespace quorel {

// The device side of QRSystemIO: a duplex audio device that calls an input/output procedure
// on its own real-time thread with the captured input and the output to fill.
class QRAudioDevice {
public:
    using IOProc = void (*)(void* context, const AudioBufferList* input, AudioBufferList* output);

    virtual ~QRAudioDevice() = default;

    // Registers `proc`; on success `procID` is non-zero.
    virtual Status createIOProc(IOProc proc, void* context, uint64_t& procID) = 0;
    virtual Status startIOProc(uint64_t procID) = 0;
    // After stopIOProc returns, `proc` is no longer running and will not be called again.
    virtual void stopIOProc(uint64_t procID) = 0;
    virtual void destroyIOProc(uint64_t procID) = 0;
};

}  // namespace quorel
