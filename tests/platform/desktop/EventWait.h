#pragma once

#include <functional>

namespace quorel::test {

// Runs the Qt event loop until `done` holds or `timeoutMS` passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMS = 15000);

// Runs the event loop for about `ms` (to let events that must not come have their chance).
void processEventsFor(int ms);

}  // namespace quorel::test
