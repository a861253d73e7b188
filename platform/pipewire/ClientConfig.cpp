#include "ClientConfig.h"

#include <cstdlib>

namespace quorel::pipewire {

const char* realtimeClientConfig(const char* libraryVersion)
{
    const long major = libraryVersion ? std::strtol(libraryVersion, nullptr, 10) : 0;
    return major >= 1 ? "client.conf" : "client-rt.conf";
}

}  // namespace quorel::pipewire
