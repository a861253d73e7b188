#include "TrayPresence.h"

namespace quorel {

TrayPresence& TrayPresence::shared()
{
    static TrayPresence* presence = new TrayPresence;
    return *presence;
}

void TrayPresence::setPresent(bool present)
{
    if (present_ == present) return;
    present_ = present;
    emit changed(present);
}

}  // namespace quorel
