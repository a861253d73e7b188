#pragma once

#include "AudioFormat.h"
#include "AudioUnitStatus.h"

namespace quorel {

class AudioUnit;

// One input or output bus of a unit: the format the unit reads or writes. The format can only
// change while the unit's render resources are not allocated.
class AudioUnitBus {
public:
    AudioUnitBus(AudioUnit& owner, const AudioFormat& format) : owner_(owner), format_(format) {}
    AudioUnitBus(const AudioUnitBus&) = delete;
    AudioUnitBus& operator=(const AudioUnitBus&) = delete;

    const AudioFormat& format() const { return format_; }

    // -10849 while allocated; -10868 for a format without channels or without a positive rate.
    Status setFormat(const AudioFormat& format);

private:
    AudioUnit& owner_;
    AudioFormat format_;
};

}  // namespace quorel
