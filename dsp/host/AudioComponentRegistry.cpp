#include "AudioComponentRegistry.h"

namespace quorel {

namespace {
bool matches(FourCharCode query, FourCharCode value) { return query == 0 || query == value; }
}  // namespace

AudioComponentRegistry& AudioComponentRegistry::shared()
{
    static AudioComponentRegistry registry;
    return registry;
}

void AudioComponentRegistry::registerSubclass(Factory factory, const AudioComponentDescription& description,
                                              std::string name, uint32_t version)
{
    std::lock_guard lock(mutex_);
    entries_.push_back({{description, std::move(name), version}, factory});
}

const AudioComponentRegistry::Entry* AudioComponentRegistry::match(const AudioComponentDescription& query) const
{
    for (const Entry& entry : entries_) {
        const AudioComponentDescription& d = entry.info.description;
        if (matches(query.componentType, d.componentType) && matches(query.componentSubType, d.componentSubType)
            && matches(query.componentManufacturer, d.componentManufacturer))
            return &entry;
    }
    return nullptr;
}

std::unique_ptr<AudioUnit> AudioComponentRegistry::instantiate(const AudioComponentDescription& query) const
{
    Factory factory = nullptr;
    AudioComponentDescription description;
    {
        std::lock_guard lock(mutex_);
        const Entry* entry = match(query);
        if (!entry) return nullptr;
        factory = entry->factory;
        description = entry->info.description;
    }
    return factory(description);
}

std::optional<AudioComponentInfo> AudioComponentRegistry::find(const AudioComponentDescription& query) const
{
    std::lock_guard lock(mutex_);
    const Entry* entry = match(query);
    if (!entry) return std::nullopt;
    return entry->info;
}

std::vector<AudioComponentInfo> AudioComponentRegistry::components() const
{
    std::lock_guard lock(mutex_);
    std::vector<AudioComponentInfo> result;
    for (const Entry& entry : entries_) result.push_back(entry.info);
    return result;
}

}  // namespace quorel
