#pragma once

#include "MeterReading.h"

namespace quorel {

// How the published meters move, one step per refresh (0.2 s): the peaks rise at once and fall
// at most 3 dB a step, the limiter's reduction deepens at once and recovers at most 1.5 dB a
// step, the drive's activity rises at once and falls at most 0.15 a step; the leveler's
// figures are shown as read.
class MeterBallistics {
public:
    // The published meters (dBFS, dB, LUFS, 0...1).
    struct Meters {
        float inputDB = -120;
        float outputDB = -120;
        float limiterDB = 0;
        float levelerLoudness = -120;
        float levelerGain = 0;
        bool levelerMeasuring = false;
        float driveActivity = 0;
        bool operator==(const Meters&) const = default;
    };

    // The meters one step after `shown`, given the engine's reading and the capture's peak.
    static Meters step(const Meters& shown, float inputPeakDB, const MeterReading& reading);
    // The meters while processing waits for audio: the levels at rest, the leveler's loudness
    // and gain kept as last shown.
    static Meters waiting(const Meters& shown);
    // Whether the levels rest (what waiting() shows): nothing on the meters would move.
    static bool atRest(const Meters& meters);
};

}  // namespace quorel
