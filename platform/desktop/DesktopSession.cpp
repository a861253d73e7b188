#include "DesktopSession.h"

#include "PortalShortcutBackend.h"
#include "UnavailableFrontApplicationSource.h"
#include "UnavailableShortcutBackend.h"
#include "X11Connection.h"
#include "X11FrontApplicationSource.h"
#include "X11ShortcutBackend.h"

namespace quorel {

DesktopSessionKind currentDesktopSession()
{
    if (qEnvironmentVariable("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return DesktopSessionKind::Wayland;
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) return DesktopSessionKind::X11;
    return DesktopSessionKind::None;
}

std::unique_ptr<FrontApplicationSource> makeFrontApplicationSource(QObject* parent)
{
    if (currentDesktopSession() == DesktopSessionKind::X11) {
        if (auto connection = X11Connection::shared()) {
            return std::make_unique<X11FrontApplicationSource>(std::move(connection), parent);
        }
    }
    return std::make_unique<UnavailableFrontApplicationSource>(parent);
}

std::unique_ptr<ShortcutBackend> makeShortcutBackend(QObject* parent)
{
    switch (currentDesktopSession()) {
    case DesktopSessionKind::X11:
        if (auto connection = X11Connection::shared()) {
            return std::make_unique<X11ShortcutBackend>(std::move(connection), parent);
        }
        break;
    case DesktopSessionKind::Wayland:
        if (QDBusConnection::sessionBus().isConnected()) {
            return std::make_unique<PortalShortcutBackend>(QDBusConnection::sessionBus(), parent);
        }
        break;
    case DesktopSessionKind::None: break;
    }
    return std::make_unique<UnavailableShortcutBackend>(parent);
}

}  // namespace quorel
