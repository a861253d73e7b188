#pragma once

#include "AudioComponentDescription.h"
#include "AudioUnit.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorel {

// A registered unit: its description, name and version.
struct AudioComponentInfo {
    AudioComponentDescription description;
    std::string name;
    uint32_t version = 0;
};

// The process-wide list of units that can be instantiated by description. Registering the same
// description twice adds a second entry, as with any component registry; callers that must
// register once guard the call themselves.
class AudioComponentRegistry {
public:
    using Factory = std::unique_ptr<AudioUnit> (*)(const AudioComponentDescription&);

    static AudioComponentRegistry& shared();

    void registerSubclass(Factory factory, const AudioComponentDescription& description, std::string name,
                          uint32_t version);

    // The first registered unit whose type, subtype and manufacturer match; a zero field of the
    // query matches any value. Null / nullopt when nothing matches.
    std::unique_ptr<AudioUnit> instantiate(const AudioComponentDescription& query) const;
    std::optional<AudioComponentInfo> find(const AudioComponentDescription& query) const;

    // Every registration, in order, including repeated ones.
    std::vector<AudioComponentInfo> components() const;

private:
    struct Entry {
        AudioComponentInfo info;
        Factory factory;
    };
    const Entry* match(const AudioComponentDescription& query) const;

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace quorel
