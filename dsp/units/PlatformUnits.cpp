#include "PlatformUnits.h"

#include "AudioComponentRegistry.h"
#include "DynamicsProcessorUnit.h"
#include "MultibandCompressorUnit.h"

#include <mutex>

namespace quorel {

void registerPlatformUnits()
{
    static std::once_flag once;
    std::call_once(once, [] {
        auto& registry = AudioComponentRegistry::shared();
        registry.registerSubclass(
            [](const AudioComponentDescription& d) -> std::unique_ptr<AudioUnit> {
                return std::make_unique<DynamicsProcessorUnit>(d);
            },
            {effectComponentType, DynamicsProcessorUnit::subtype, platformManufacturer, 0, 0}, "Dynamics Processor", 1);
        registry.registerSubclass(
            [](const AudioComponentDescription& d) -> std::unique_ptr<AudioUnit> {
                return std::make_unique<MultibandCompressorUnit>(d);
            },
            {effectComponentType, MultibandCompressorUnit::subtype, platformManufacturer, 0, 0}, "Multiband Compressor",
            1);
    });
}

}  // namespace quorel
