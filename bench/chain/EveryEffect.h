#pragma once

// The benchmarks' "every effect on": Boost, Loudness, 31 bands, bass cut, bass harmonics, Drive
// and the leveler (the settings the live and the offline comparisons play with).

#include "DSPSettings.h"

namespace quorel::bench {

inline DSPSettings everyEffect()
{
    DSPSettings s;
    s.boostDB = 6;
    s.loudness = 0.5f;
    for (size_t i = 0; i < s.bands.size(); ++i) s.bands[i] = i % 2 ? 1.5f : -2.0f;
    s.highPassHz = 80;
    s.bassHarmonics = 0.5f;
    s.driveAmount = 0.5f;
    s.levelerStrength = 1;
    return s;
}

}  // namespace quorel::bench
