#include "StudioButtonStyle.h"

#include "Studio.h"

namespace quorel {

StudioButtonLook StudioButtonStyle::look(bool pressed, bool enabled) const
{
    StudioButtonLook l;
    if (prominent) {
        l.text = Studio::text();
        l.fill = Studio::withOpacity(Studio::violet(), pressed ? 0.24 : 0.16);
        l.border = Studio::withOpacity(Studio::violet(), 0.22);
    } else {
        l.text = Studio::secondary();
        l.fill = Studio::rgb(1, 1, 1, pressed ? 0.09 : 0.035);
        l.border = Studio::line();
    }
    l.opacity = enabled ? 1.0 : 0.4;
    return l;
}

}  // namespace quorel
