#pragma once

#include "DynamicsProcessor.h"
#include "ProcessorUnit.h"

namespace quorel {

// The platform's single-band dynamics processor ('dcmp') as an effect unit.
class DynamicsProcessorUnit : public ProcessorUnit<DynamicsProcessor> {
public:
    static constexpr FourCharCode subtype = fourCharCode("dcmp");

    explicit DynamicsProcessorUnit(const AudioComponentDescription& description = platformDescription(subtype));
};

}  // namespace quorel
