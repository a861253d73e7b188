#include "PlatformUnits.h"

#include "AudioComponentRegistry.h"
#include "DynamicsProcessorUnit.h"
#include "MultibandCompressorUnit.h"

#include <mutex>

namespace quorel {

namespace {

template <typename Unit>
void registerPlatformUnit(AudioComponentRegistry& registry, const char* name)
{
    registry.registerSubclass(
        [](const AudioComponentDescription& d) -> std::unique_ptr<AudioUnit> { return std::make_unique<Unit>(d); },
        platformDescription(Unit::subtype), name, 1);
}

}  // namespace

void registerPlatformUnits()
{
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = AudioComponentRegistry::shared();
        registerPlatformUnit<DynamicsProcessorUnit>(registry, "Dynamics Processor");
        registerPlatformUnit<MultibandCompressorUnit>(registry, "Multiband Compressor");
    });
}

}  // namespace quorel
