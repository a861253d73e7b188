#pragma once

namespace quorel {

// Registers the platform's dynamics processor ('dcmp') and multiband compressor ('mcmp') with
// the component registry, once per process.
void registerPlatformUnits();

}  // namespace quorel
