#pragma once

#include "MultibandCompressor.h"
#include "ProcessorUnit.h"

namespace quorel {

// The platform's four-band compressor ('mcmp') as an effect unit.
class MultibandCompressorUnit : public ProcessorUnit<MultibandCompressor> {
public:
    static constexpr FourCharCode subtype = fourCharCode("mcmp");

    explicit MultibandCompressorUnit(const AudioComponentDescription& description = platformDescription(subtype));
};

}  // namespace quorel
