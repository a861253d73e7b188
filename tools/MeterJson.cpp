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

QJsonObject statsJson(const QRSystemIOStats& s)
{
    return QJsonObject{
        {"callbacks", qint64(s.callbacks)},
        {"renderedSeconds", s.renderedSeconds()},
        {"renderErrors", qint64(s.renderErrors)},
        {"inputMismatches", qint64(s.inputMismatches)},
        {"outputMismatches", qint64(s.outputMismatches)},
        {"oversizedBuffers", qint64(s.oversizedBuffers)},
        {"overloads", qint64(s.overloads)},
        {"inputPeakDB", double(s.inputPeakDB())},
        {"outputPeakDB", double(s.outputPeakDB())},
    };
}

}  // namespace quorel::tool
