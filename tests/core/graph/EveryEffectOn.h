#pragma once

#include "DSPSettings.h"

namespace quorel::test {

// Settings that put every unit of the chain to work: the graph tests' "all on".
inline DSPSettings everyEffectOn()
{
    DSPSettings s;
    s.boostDB = 6;
    s.loudness = 0.5f;
    for (float& b : s.bands) b = 1.5f;
    s.highPassHz = 80;
    s.bassHarmonics = 0.5f;
    s.driveAmount = 0.5f;
    s.levelerStrength = 1;
    return s;
}

}  // namespace quorel::test
