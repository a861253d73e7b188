#pragma once

#include "MeterReading.h"
#include "SystemBoostEngine.h"

#include <QJsonObject>

namespace quorel::tool {

// Every field of a meter reading under its own name.
QJsonObject meterJson(const MeterReading& m);
// Every field of the engine's statistics under its own name.
QJsonObject statsJson(const QRSystemIOStats& s);

}  // namespace quorel::tool
