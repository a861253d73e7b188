#include "FakePortal.h"
#include "PortalShortcutBackend.h"
#include "PrivateSessionBus.h"
#include "SixShortcuts.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace quorel;
using quorel::test::sixShortcuts;
using quorel::test::waitUntil;

namespace {

class PortalShortcutTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.error()); }

    QDBusConnection connect(const QString& name)
    {
        QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), name);
        names << name;
        return connection;
    }

    void TearDown() override
    {
        for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
    }

    test::PrivateSessionBus bus;
    QStringList names;
};

}  // namespace

TEST_F(PortalShortcutTest, WithoutThePortalTheBackendIsUnavailable)
{
    PortalShortcutBackend backend(connect("portal-none"));
    ASSERT_TRUE(waitUntil([&] { return backend.hasProbed(); }));
    EXPECT_FALSE(backend.isAvailable());
    backend.registerShortcuts(sixShortcuts());
    EXPECT_TRUE(backend.sessionHandle().isEmpty());
}

TEST_F(PortalShortcutTest, BindsTheShortcutsAndReportsActivationsOfItsSession)
{
    test::FakePortal portal(connect("portal-service"));
    ASSERT_TRUE(portal.isServing());
    PortalShortcutBackend backend(connect("portal-client"));
    int availabilityChanges = 0;
    QObject::connect(&backend, &ShortcutBackend::availabilityChanged, [&] { ++availabilityChanges; });
    std::vector<uint32_t> presses;
    QObject::connect(&backend, &ShortcutBackend::activated, [&](uint32_t id) { presses.push_back(id); });

    // Asked for before the portal answered: bound once it has.
    backend.registerShortcuts(sixShortcuts());
    EXPECT_FALSE(backend.isAvailable());
    ASSERT_TRUE(waitUntil([&] { return portal.bound.size() == 6; }));
    EXPECT_TRUE(backend.isAvailable());
    EXPECT_EQ(availabilityChanges, 1);
    EXPECT_EQ(portal.methodsCalled, (QStringList{"CreateSession", "BindShortcuts"}));
    ASSERT_EQ(portal.sessions.size(), 1);
    ASSERT_TRUE(waitUntil([&] { return !backend.sessionHandle().isEmpty(); }));
    EXPECT_EQ(backend.sessionHandle(), portal.sessions.front());

    EXPECT_EQ(portal.bound[0].id, "toggle");
    EXPECT_EQ(portal.bound[0].properties.value("preferred_trigger").toString(), "CTRL+ALT+LOGO+b");
    EXPECT_EQ(portal.bound[0].properties.value("description").toString(), "Turn processing on or off");
    EXPECT_EQ(portal.bound[2].properties.value("preferred_trigger").toString(), "CTRL+ALT+LOGO+Up");
    EXPECT_EQ(portal.bound[5].id, "previous-preset");

    // Another session's shortcut is not ours; signals arrive in order.
    portal.sendActivated("/org/freedesktop/portal/desktop/session/other/x", "toggle");
    portal.sendActivated(backend.sessionHandle(), "next-preset");
    portal.sendActivated(backend.sessionHandle(), "unknown");
    portal.sendActivated(backend.sessionHandle(), "toggle");
    ASSERT_TRUE(waitUntil([&] { return presses.size() >= 2; }));
    EXPECT_EQ(presses, (std::vector<uint32_t>{5, 1}));

    // The same shortcuts again: nothing new is asked.
    backend.registerShortcuts(sixShortcuts());
    const QString session = backend.sessionHandle();
    backend.unregisterShortcuts();
    ASSERT_TRUE(waitUntil([&] { return portal.closedSessions.size() == 1; }));
    EXPECT_EQ(portal.closedSessions.front(), session);
    EXPECT_EQ(portal.methodsCalled, (QStringList{"CreateSession", "BindShortcuts", "Close"}));

    // Registering again opens a new session.
    backend.registerShortcuts(sixShortcuts());
    ASSERT_TRUE(waitUntil([&] { return portal.sessions.size() == 2 && portal.methodsCalled.size() == 5; }));
    EXPECT_EQ(portal.methodsCalled.mid(3), (QStringList{"CreateSession", "BindShortcuts"}));
}

TEST_F(PortalShortcutTest, UnregisteringWhileTheSessionIsBeingMadeClosesItWhenItComes)
{
    test::FakePortal portal(connect("portal-service2"));
    PortalShortcutBackend backend(connect("portal-client2"));
    ASSERT_TRUE(waitUntil([&] { return backend.isAvailable(); }));
    backend.registerShortcuts(sixShortcuts());
    backend.unregisterShortcuts();
    ASSERT_TRUE(waitUntil([&] { return portal.closedSessions.size() == 1; }));
    EXPECT_EQ(portal.closedSessions.front(), portal.sessions.front());
    EXPECT_TRUE(portal.bound.empty());
    EXPECT_TRUE(backend.sessionHandle().isEmpty());
}
