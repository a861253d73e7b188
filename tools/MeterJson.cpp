#include "MeterJson.h"

namespace quorel::tool {

QJsonObject meterJson(const MeterReading& m)
{
    return QJsonObject{
        {"inputPeakDB", double(m.inputPeakDB)},
        {"outputPeakDB", double(m.outputPeakDB)},
        {"outputRMSDB", double(m.outputRMSDB)},
        {"limiterReductionDB", double(m.limiterReductionDB)},
        {"guardedSamples", qint64(m.guardedSamples)},
        {"invalidSamples", qint64(m.invalidSamples)},
        {"levelerLoudnessLUFS", double(m.levelerLoudnessLUFS)},
        {"levelerGainDB", double(m.levelerGainDB)},
        {"levelerMeasuring", m.levelerMeasuring},
        {"driveActivity", double(m.driveActivity)},
    };
}

}  // namespace quorel::tool
