#include "DesktopSession.h"
#include "FakePortal.h"
#include "PortalShortcutBackend.h"
#include "PrivateSessionBus.h"
#include "ScopedEnvironment.h"
#include "TestSupport.h"
#include "X11FrontApplicationSource.h"
#include "X11ShortcutBackend.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

using namespace quorel;
using quorel::test::ScopedEnvironment;

namespace {

// Unsets an environment variable for the lifetime of the object.
class ScopedUnset {
public:
    explicit ScopedUnset(const char* name)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), previous_(qgetenv(name))
    {
        qunsetenv(name);
    }
    ~ScopedUnset()
    {
        if (had_) qputenv(name_, previous_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};

}  // namespace

TEST(DesktopSession, AnX11SessionGetsTheX11Services)
{
    test::XvfbServer xvfb;
    ASSERT_TRUE(xvfb.isRunning()) << qPrintable(xvfb.error());
    ScopedEnvironment display("DISPLAY", xvfb.display().toUtf8());
    ScopedUnset wayland("WAYLAND_DISPLAY");
    ScopedEnvironment type("XDG_SESSION_TYPE", "x11");
    EXPECT_EQ(currentDesktopSession(), DesktopSessionKind::X11);
    const auto source = makeFrontApplicationSource();
    const auto shortcuts = makeShortcutBackend();
    EXPECT_NE(dynamic_cast<X11FrontApplicationSource*>(source.get()), nullptr);
    EXPECT_NE(dynamic_cast<X11ShortcutBackend*>(shortcuts.get()), nullptr);
    EXPECT_TRUE(source->isAvailable());
    EXPECT_TRUE(shortcuts->isAvailable());
}

TEST(DesktopSession, WithoutADisplayNothingIsAvailable)
{
    ScopedUnset display("DISPLAY");
    ScopedUnset wayland("WAYLAND_DISPLAY");
    ScopedUnset type("XDG_SESSION_TYPE");
    EXPECT_EQ(currentDesktopSession(), DesktopSessionKind::None);
    EXPECT_FALSE(makeFrontApplicationSource()->isAvailable());
    const auto shortcuts = makeShortcutBackend();
    EXPECT_FALSE(shortcuts->isAvailable());
    shortcuts->registerShortcuts({{1, "b", "Toggle", "toggle"}});
}

TEST(DesktopSession, AWaylandSessionUsesThePortalForShortcutsAndHasNoFrontApplication)
{
    test::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.error());
    test::FakePortal portal(QDBusConnection::connectToBus(bus.address(), "session-portal"));
    ASSERT_TRUE(portal.isServing());
    // The process's session bus is this private one (nothing else in this process uses it).
    ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    // An Xwayland display sees only X clients: the front application is not knowable.
    ScopedEnvironment display("DISPLAY", ":9876");
    ScopedEnvironment wayland("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_EQ(currentDesktopSession(), DesktopSessionKind::Wayland);
    EXPECT_FALSE(makeFrontApplicationSource()->isAvailable());
    const auto shortcuts = makeShortcutBackend();
    ASSERT_NE(dynamic_cast<PortalShortcutBackend*>(shortcuts.get()), nullptr);
    EXPECT_TRUE(test::waitUntil([&] { return shortcuts->isAvailable(); }));
    QDBusConnection::disconnectFromBus("session-portal");
}
