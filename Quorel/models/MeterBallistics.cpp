#include "MeterBallistics.h"

#include <algorithm>

namespace quorel {

namespace {

constexpr float peakFall = 3;              // dB a step
constexpr float reductionRecovery = 1.5f;  // dB a step
constexpr float activityFall = 0.15f;      // a step

}  // namespace

MeterBallistics::Meters MeterBallistics::step(const Meters& shown, float inputPeakDB, const MeterReading& reading)
{
    Meters next;
    next.inputDB = std::max(inputPeakDB, shown.inputDB - peakFall);
    next.outputDB = std::max(reading.outputPeakDB, shown.outputDB - peakFall);
    next.limiterDB = std::min(reading.limiterReductionDB, shown.limiterDB + reductionRecovery);
    next.levelerLoudness = reading.levelerLoudnessLUFS;
    next.levelerGain = reading.levelerGainDB;
    next.levelerMeasuring = reading.levelerMeasuring;
    next.driveActivity = std::max(reading.driveActivity, shown.driveActivity - activityFall);
    return next;
}

MeterBallistics::Meters MeterBallistics::waiting(const Meters& shown)
{
    Meters resting = shown;
    resting.inputDB = -120;
    resting.outputDB = -120;
    resting.limiterDB = 0;
    resting.levelerMeasuring = false;
    resting.driveActivity = 0;
    return resting;
}

bool MeterBallistics::atRest(const Meters& meters)
{
    return meters.inputDB == -120 && meters.outputDB == -120 && meters.limiterDB == 0 && !meters.levelerMeasuring
           && meters.driveActivity == 0;
}

}  // namespace quorel
