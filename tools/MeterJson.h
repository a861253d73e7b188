#pragma once

#include "MeterReading.h"

#include <QJsonObject>

namespace quorel::tool {

// Every field of a meter reading under its own name.
QJsonObject meterJson(const MeterReading& m);

}  // namespace quorel::tool
