#pragma once

#include <pulse/volume.h>

namespace quorel::pulseVolume {

// The slider position 0...1 of a sink's channel volumes, as desktop volume sliders show it: the
// loudest channel on the server's cubic volume scale (1 = 100 %, louder settings read as 1).
float fraction(const pa_cvolume& volume);

// The channel volumes scaled so that the loudest channel sits at `fraction` (clamped to 0...1,
// not finite = 0); the other channels keep their balance to it.
pa_cvolume scaled(const pa_cvolume& volume, float fraction);

}  // namespace quorel::pulseVolume
