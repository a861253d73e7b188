#pragma once

namespace quorel::pipewire {

// The client configuration whose module raises the data thread to a real-time policy (directly
// where the process may, else through RTKit), for the PipeWire library of the given version
// (pw_get_library_version()): "client.conf" from 1.0 on, which loads the real-time module itself
// and warns that "client-rt.conf" is deprecated; "client-rt.conf" before.
const char* realtimeClientConfig(const char* libraryVersion);

}  // namespace quorel::pipewire
