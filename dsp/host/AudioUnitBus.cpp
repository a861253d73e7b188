#include "AudioUnitBus.h"

#include "AudioUnit.h"

namespace quorel {

Status AudioUnitBus::setFormat(const AudioFormat& format)
{
    if (owner_.renderResourcesAllocated()) return status::initialized;
    if (format.channelCount == 0 || !(format.sampleRate > 0)) return status::formatNotSupported;
    format_ = format;
    return status::ok;
}

}  // namespace quorel
