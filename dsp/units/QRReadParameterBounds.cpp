#include "QREffects.h"

namespace quorel {

extern "C" QRParameterBounds QRReadParameterBounds(AudioUnit* unit, uint32_t parameter)
{
    QRParameterBounds bounds{0, 0, 0, status::parameterError};
    if (!unit) return bounds;
    ParameterInfo info;
    bounds.status = unit->parameterInfo(parameter, info);
    if (bounds.status == status::ok) {
        bounds.minimum = info.minValue;
        bounds.maximum = info.maxValue;
        bounds.unit = info.unit;
    }
    return bounds;
}

}  // namespace quorel
