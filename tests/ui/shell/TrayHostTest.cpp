// The tray icon follows a real tray host that starts after Quorel and restarts: the quorel
// binary runs on a private X server (and a private session bus) with no tray; then `trayer`
// (an XEmbed system tray) starts, stops and starts again, or a StatusNotifierWatcher appears on
// the bus, goes and comes back. Each new host must get our icon within a second, and closing
// the window hides it while a tray is there and quits once the tray has gone.

#include "ShellHarness.h"

#include "PrivateSessionBus.h"
#include "XvfbServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>

// Xlib's macros (None, Bool, Status) clash with GoogleTest's and Qt's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef Bool
#undef None
#undef Status

using namespace quorel;
using quorel::test::waitUntil;

namespace {

// Stands in for a panel's StatusNotifierWatcher: counts the items that register.
class StatusNotifierWatcherStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }
    int registrations = 0;

public slots:
    void RegisterStatusNotifierItem(const QString& service)
    {
        ++registrations;
        items_ << service;
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList items_;
};

// The quorel binary on a private display and bus, with no sound server and no tray.
class TrayHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("trayer").isEmpty()) GTEST_SKIP() << "trayer is not installed";
        ASSERT_TRUE(xvfb.isRunning()) << xvfb.error().toStdString();
        ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
        display = XOpenDisplay(xvfb.display().toLocal8Bit().constData());
        ASSERT_TRUE(display);
        // Windows come and go while the tree is walked: a vanished one is no error here.
        previousHandler = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        traySelection = XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False);
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), "tray-host-test"));
        ASSERT_TRUE(connection->isConnected());

        // Past the first-run sheet, which would hold the window's shortcuts.
        QDir().mkpath(home.path() + "/config/Quorel");
        QFile settings(home.path() + "/config/Quorel/Quorel.conf");
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nCorvanta.Onboarding.v1=true\n");
        settings.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", xvfb.display());
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_STATE_HOME", home.path() + "/state");
        env.insert("XDG_RUNTIME_DIR", home.path());
        env.insert("PULSE_SERVER", "unix:/nonexistent/quorel-test/native");
        env.insert("PIPEWIRE_REMOTE", "/nonexistent/quorel-test/pipewire-0");
        env.remove("XDG_CURRENT_DESKTOP");
        quorel.setProcessEnvironment(env);
        quorel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        quorel.start(QUOREL_BINARY, {});
        ASSERT_TRUE(quorel.waitForStarted());
        // Up once its single-instance name is on the bus.
        ASSERT_TRUE(waitUntil([&] { return connection->interface()->isServiceRegistered("app.quorel.Quorel").value(); },
                              30000));
        QTest::qWait(300);
    }

    void TearDown() override
    {
        stopTrayer();
        if (quorel.state() != QProcess::NotRunning) {
            quorel.terminate();
            if (!quorel.waitForFinished(10000)) quorel.kill();
            quorel.waitForFinished();
        }
        connection.reset();
        QDBusConnection::disconnectFromBus("tray-host-test");
        if (display) XCloseDisplay(display);
        XSetErrorHandler(previousHandler);
    }

    void startTrayer()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", xvfb.display());
        trayer.setProcessEnvironment(env);
        trayer.start("trayer", {});
        ASSERT_TRUE(trayer.waitForStarted());
    }

    void stopTrayer()
    {
        if (trayer.state() == QProcess::NotRunning) return;
        trayer.terminate();
        if (!trayer.waitForFinished(5000)) trayer.kill();
        trayer.waitForFinished();
    }

    // The main window, when it is mapped.
    unsigned long mainWindow()
    {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        unsigned long found = 0;
        if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
        for (unsigned int i = 0; i < count && !found; ++i) {
            XWindowAttributes attributes;
            XClassHint hint{};
            if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable
                || attributes.width < 1000 || !XGetClassHint(display, children[i], &hint))
                continue;
            if (hint.res_class && QByteArray(hint.res_class) == "Quorel") found = children[i];
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
        if (children) XFree(children);
        return found;
    }

    // Ctrl+W in the main window.
    void closeMainWindow()
    {
        const unsigned long window = mainWindow();
        ASSERT_NE(window, 0u);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", xvfb.display());
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        xdotool.start("xdotool", {"windowfocus", "--sync", QString::number(window), "key", "ctrl+w"});
        ASSERT_TRUE(xdotool.waitForFinished(10000));
    }

    bool trayOwned() { return XGetSelectionOwner(display, traySelection) != 0; }

    // Whether a window of ours sits inside another client's window (embedded by the tray)
    // rather than at the root.
    bool iconEmbedded()
    {
        XSync(display, False);
        return embeddedBelow(DefaultRootWindow(display), true);
    }

    bool embeddedBelow(Window window, bool atRoot)
    {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
        bool found = false;
        for (unsigned int i = 0; i < count && !found; ++i) {
            XClassHint hint{};
            if (!atRoot && XGetClassHint(display, children[i], &hint)) {
                found = hint.res_class && QByteArray(hint.res_class) == "Quorel";
                if (hint.res_name) XFree(hint.res_name);
                if (hint.res_class) XFree(hint.res_class);
            }
            if (!found) found = embeddedBelow(children[i], false);
        }
        if (children) XFree(children);
        return found;
    }

    test::XvfbServer xvfb;
    test::PrivateSessionBus bus;
    QTemporaryDir home;
    Display* display = nullptr;
    XErrorHandler previousHandler = nullptr;
    Atom traySelection = 0;
    std::unique_ptr<QDBusConnection> connection;
    QProcess quorel;
    QProcess trayer;
};

// The icon follows the tray as it comes and goes, not on a later poll: well within a second on a
// quiet machine; the bound leaves room for a sanitizer build on a busy one.
constexpr int promptly = 3000;

}  // namespace

TEST_F(TrayHostTest, AnXEmbedTrayThatStartsLateAndRestartsGetsTheIcon)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    EXPECT_FALSE(iconEmbedded());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "late start" : "restart");
        startTrayer();
        ASSERT_TRUE(waitUntil([&] { return trayOwned(); }, 15000));
        QElapsedTimer sinceTray;
        sinceTray.start();
        EXPECT_TRUE(waitUntil([&] { return iconEmbedded(); }, promptly));
        std::cerr << "icon embedded " << sinceTray.elapsed() << " ms after the tray took the selection\n";
        if (round == 0) {
            // With a tray, closing the window only hides it.
            ASSERT_TRUE(waitUntil([&] { return mainWindow() != 0; }, 10000));
            closeMainWindow();
            EXPECT_TRUE(waitUntil([&] { return mainWindow() == 0; }, 5000));
            QTest::qWait(300);
            EXPECT_EQ(quorel.state(), QProcess::Running);
        }
        stopTrayer();
        ASSERT_TRUE(waitUntil([&] { return !trayOwned(); }, 5000));
        EXPECT_TRUE(waitUntil([&] { return !iconEmbedded(); }, 2000));
    }
    // The tray is gone: a second launch brings the window back, and closing it now quits.
    ASSERT_EQ(quorel.state(), QProcess::Running);
    QProcess second;
    second.setProcessEnvironment(quorel.processEnvironment());
    second.start(QUOREL_BINARY, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    ASSERT_TRUE(waitUntil([&] { return mainWindow() != 0; }, 10000));
    closeMainWindow();
    EXPECT_TRUE(quorel.waitForFinished(10000));
    EXPECT_EQ(quorel.exitCode(), 0);
}

TEST_F(TrayHostTest, AStatusNotifierWatcherThatComesLateAndRestartsGetsTheIcon)
{
    StatusNotifierWatcherStandIn watcher;
    ASSERT_TRUE(connection->registerObject("/StatusNotifierWatcher", &watcher,
                                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                               | QDBusConnection::ExportAllProperties));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "late start" : "restart");
        const int before = watcher.registrations;
        ASSERT_TRUE(connection->registerService("org.kde.StatusNotifierWatcher"));
        QElapsedTimer sinceWatcher;
        sinceWatcher.start();
        EXPECT_TRUE(waitUntil([&] { return watcher.registrations > before; }, promptly));
        std::cerr << "item registered " << sinceWatcher.elapsed() << " ms after the watcher appeared\n";
        ASSERT_TRUE(connection->unregisterService("org.kde.StatusNotifierWatcher"));
        QTest::qWait(300);
    }
    EXPECT_EQ(quorel.state(), QProcess::Running);
}

#include "TestSupport.h"
#include "TrayHostTest.moc"
