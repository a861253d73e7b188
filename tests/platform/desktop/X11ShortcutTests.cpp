#include "SixShortcuts.h"
#include "TestSupport.h"
#include "WindowManagerStandIn.h"
#include "X11Connection.h"
#include "X11ShortcutBackend.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

using namespace quorel;
using quorel::test::sixShortcuts;
using quorel::test::waitUntil;

namespace {

class X11ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.isRunning()) << qPrintable(xvfb.error());
        wm = std::make_unique<test::WindowManagerStandIn>(xvfb.display());
        ASSERT_TRUE(wm->isOpen());
        connection = X11Connection::open(xvfb.display());
        ASSERT_TRUE(connection);
        backend = std::make_unique<X11ShortcutBackend>(connection);
        QObject::connect(backend.get(), &ShortcutBackend::activated, [this](uint32_t id) { presses.push_back(id); });
    }

    // Presses the shortcut and waits for `expected` presses in all.
    bool press(const char* key, size_t expected)
    {
        wm->pressShortcut(key);
        return waitUntil([&] { return presses.size() == expected; });
    }

    test::XvfbServer xvfb;
    std::unique_ptr<test::WindowManagerStandIn> wm;
    std::shared_ptr<X11Connection> connection;
    std::unique_ptr<X11ShortcutBackend> backend;
    std::vector<uint32_t> presses;
};

}  // namespace

TEST_F(X11ShortcutTest, PressesFireTheirShortcutWithAndWithoutNumLock)
{
    ASSERT_TRUE(backend->isAvailable());
    backend->registerShortcuts(sixShortcuts());
    EXPECT_EQ(backend->registeredIDs(), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));

    ASSERT_TRUE(press("b", 1));
    ASSERT_TRUE(press("Left", 2));
    ASSERT_TRUE(press("Up", 3));
    EXPECT_EQ(presses, (std::vector<uint32_t>{1, 6, 3}));

    wm->toggleNumLock();
    ASSERT_TRUE(wm->numLockOn());
    ASSERT_TRUE(press("b", 4));
    EXPECT_EQ(presses.back(), 1u);
    wm->toggleNumLock();
    ASSERT_FALSE(wm->numLockOn());
}

TEST_F(X11ShortcutTest, AKeyAnotherClientHoldsIsSkippedAndTheOthersWork)
{
    ASSERT_TRUE(wm->grabShortcut("a"));
    backend->registerShortcuts(sixShortcuts());
    EXPECT_EQ(backend->registeredIDs(), (std::vector<uint32_t>{1, 3, 4, 5, 6}));
    ASSERT_TRUE(press("b", 1));
    // The other client's key stays the other client's, and ours still answer after it.
    wm->pressShortcut("a");
    ASSERT_TRUE(press("Right", 2));
    EXPECT_EQ(presses, (std::vector<uint32_t>{1, 5}));
}

TEST_F(X11ShortcutTest, RegisteringTwiceGrabsOnce)
{
    backend->registerShortcuts(sixShortcuts());
    backend->registerShortcuts(sixShortcuts());
    EXPECT_EQ(backend->registeredIDs(), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(press("b", 1));
    ASSERT_TRUE(press("a", 2));
    EXPECT_EQ(presses, (std::vector<uint32_t>{1, 2}));

    // One unregister releases every key: another client can take them all.
    backend->unregisterShortcuts();
    for (const char* key : {"b", "a", "Up", "Down", "Right", "Left"}) EXPECT_TRUE(wm->grabShortcut(key)) << key;
}

TEST_F(X11ShortcutTest, UnregisterReleasesTheKeysAndRegisteringAgainGrabsThem)
{
    backend->registerShortcuts(sixShortcuts());
    EXPECT_FALSE(wm->grabShortcut("b"));
    backend->unregisterShortcuts();
    EXPECT_TRUE(backend->registeredIDs().empty());
    ASSERT_TRUE(wm->grabShortcut("b"));
    wm->ungrabShortcut("b");

    backend->registerShortcuts(sixShortcuts());
    EXPECT_EQ(backend->registeredIDs().size(), 6u);
    EXPECT_FALSE(wm->grabShortcut("Down"));
    ASSERT_TRUE(press("Down", 1));
    EXPECT_EQ(presses, (std::vector<uint32_t>{4}));
}

TEST_F(X11ShortcutTest, AVanishedServerLeavesTheProcessRunningAndTheBackendUnavailable)
{
    backend->registerShortcuts(sixShortcuts());
    int availabilityChanges = 0;
    QObject::connect(backend.get(), &ShortcutBackend::availabilityChanged, [&] { ++availabilityChanges; });
    wm.reset();
    xvfb.stop();
    ASSERT_TRUE(waitUntil([&] { return availabilityChanges == 1; }));
    EXPECT_FALSE(backend->isAvailable());
    EXPECT_TRUE(backend->registeredIDs().empty());
    // Calls on a lost connection do nothing.
    backend->registerShortcuts(sixShortcuts());
    backend->unregisterShortcuts();
    EXPECT_TRUE(backend->registeredIDs().empty());
}

TEST_F(X11ShortcutTest, AKeyHeldDownIsOnePress)
{
    backend->registerShortcuts(sixShortcuts());
    wm->holdShortcut("Up", 400, test::processEventsFor);
    // Released and pressed again: a new press.
    ASSERT_TRUE(press("Down", 2));
    EXPECT_EQ(presses, (std::vector<uint32_t>{3, 4}));
}
