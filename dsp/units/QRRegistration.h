#pragma once

#include "AudioComponentDescription.h"
#include "AudioComponentRegistry.h"

#include <memory>
#include <mutex>

namespace quorel {

inline constexpr FourCharCode quorelManufacturer = fourCharCode("Qorl");

// Description of one of the system's own effect units.
constexpr AudioComponentDescription effectDescription(FourCharCode subtype)
{
    return {effectComponentType, subtype, quorelManufacturer, 0, 0};
}

// Registers Unit (with Unit::subtype, Unit::registeredName, version 1) the first time it is
// called for that unit, and returns its description on every call.
template <typename Unit>
AudioComponentDescription registerEffectUnitOnce()
{
    static constexpr AudioComponentDescription description = effectDescription(Unit::subtype);
    static std::once_flag once;
    std::call_once(once, [] {
        AudioComponentRegistry::shared().registerSubclass(
            [](const AudioComponentDescription& d) -> std::unique_ptr<AudioUnit> { return std::make_unique<Unit>(d); },
            description, Unit::registeredName, 1);
    });
    return description;
}

}  // namespace quorel
