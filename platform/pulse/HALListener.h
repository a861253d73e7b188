#pragma once

#include "HAL.h"

#include <functional>
#include <memory>

namespace quorel {

// Owns one property listener; its handler runs on the main thread. Listeners exist for:
//   HAL::systemObject 'dOut' (global): the default output device changed (our own virtual sinks
//       never count: making one the server's default, or giving the default back, is no change);
//   HAL::systemObject 'dev#' (global): a device appeared or vanished (our own sinks excluded;
//       a device starting or stopping to play is no change);
//   a device's 'vmvc' or 'mute' (output scope): that device's volume or mute changed;
//   a device's 'gone' (global): a stream started or stopped playing into it (runningSomewhere).
// Destroying the listener removes exactly its registration; a change already posted to the main
// thread is then not delivered. Create and destroy listeners on the main thread.
class HALListener {
public:
    // Installs the listener; null when the object or property takes no listener (or, for a device,
    // when the sound server does not answer).
    static std::unique_ptr<HALListener> create(HAL::ObjectID object, const HAL::PropertyAddress& address,
                                               std::function<void()> handler);
    ~HALListener();
    HALListener(const HALListener&) = delete;
    HALListener& operator=(const HALListener&) = delete;

    HAL::ObjectID object() const { return object_; }
    const HAL::PropertyAddress& address() const { return address_; }
    bool active() const { return active_; }

private:
    HALListener(HAL::ObjectID object, const HAL::PropertyAddress& address);

    HAL::ObjectID object_;
    HAL::PropertyAddress address_;
    uint64_t observer_ = 0;
    bool active_ = false;
};

}  // namespace quorel
