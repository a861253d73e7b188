#include "ScopedEnvironment.h"
#include "TestSupport.h"
#include "WindowManagerStandIn.h"
#include "X11Connection.h"
#include "X11FrontApplicationSource.h"
#include "XvfbServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace quorel;
using quorel::test::ScopedEnvironment;
using quorel::test::waitUntil;

namespace {

void writeEntry(const QString& folder, const QString& file, const QString& body)
{
    QDir().mkpath(QFileInfo(folder + "/" + file).path());
    QFile out(folder + "/" + file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(("[Desktop Entry]\nType=Application\n" + body).toUtf8());
}

class X11FrontApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xvfb.isRunning()) << qPrintable(xvfb.error());
        ASSERT_TRUE(dataHome.isValid() && dataDirs.isValid());
        const QString applications = dataHome.path() + "/applications";
        writeEntry(applications, "org.example.Notes.desktop",
                   "Name=Notes\nName[pt_BR]=Notas\nName[pt]=Notas PT\nIcon=notes-icon\nExec=notes %U\n");
        writeEntry(applications, "weird-player.desktop",
                   "Name=Weird Player\nIcon=weird\nStartupWMClass=WeirdClass\nExec=wp\n");
        writeEntry(applications, "files.desktop", "Name=Files\nName[de]=Dateien\nIcon=files\nExec=files\n");
        writeEntry(applications, "tools/sleeper.desktop", "Name=Sleeper\nIcon=sleeper\nExec=env A=1 sleep 1000\n");
        // An entry of a later data folder with an id taken already is hidden by the earlier one.
        writeEntry(dataDirs.path() + "/applications", "files.desktop", "Name=Other Files\nExec=files\n");
        sleeper.start("sleep", {"300"});
        ASSERT_TRUE(sleeper.waitForStarted());
        wm = std::make_unique<test::WindowManagerStandIn>(xvfb.display());
        ASSERT_TRUE(wm->isOpen());
        connection = X11Connection::open(xvfb.display());
        ASSERT_TRUE(connection);
    }

    void TearDown() override
    {
        sleeper.kill();
        sleeper.waitForFinished();
    }

    test::XvfbServer xvfb;
    QTemporaryDir dataHome;
    QTemporaryDir dataDirs;
    ScopedEnvironment home{"XDG_DATA_HOME", dataHome.path().toUtf8()};
    ScopedEnvironment dirs{"XDG_DATA_DIRS", dataDirs.path().toUtf8()};
    ScopedEnvironment language{"LC_ALL", "pt_BR.UTF-8"};
    QProcess sleeper;
    std::unique_ptr<test::WindowManagerStandIn> wm;
    std::shared_ptr<X11Connection> connection;
};

}  // namespace

TEST_F(X11FrontApplicationTest, NamesTheFrontApplicationByEachRule)
{
    X11FrontApplicationSource source(connection);
    ASSERT_TRUE(source.isAvailable());
    EXPECT_FALSE(source.frontApplication().has_value());
    int changes = 0;
    QObject::connect(&source, &FrontApplicationSource::frontApplicationChanged, [&] { ++changes; });

    struct Case {
        test::WindowManagerStandIn::WindowProperties window;
        DesktopApplication expected;
    };
    const unsigned long sleeperPid = static_cast<unsigned long>(sleeper.processId());
    const std::vector<Case> cases = {
        // _GTK_APPLICATION_ID wins over a WM_CLASS that names another entry; the Name is localized.
        {{"org.example.Notes", "files", "Files", 0, {}, false, 0}, {"org.example.Notes", "Notas", "notes-icon"}},
        // WM_CLASS matched to StartupWMClass.
        {{{}, "weird", "WeirdClass", 0, {}, false, 0}, {"weird-player", "Weird Player", "weird"}},
        // WM_CLASS matched to the file name, letter case aside; the earlier data folder wins.
        {{{}, "files", "Files", 0, {}, false, 0}, {"files", "Files", "files"}},
        // The window's process matched to an entry's Exec (through env, in a subfolder).
        {{{}, {}, {}, sleeperPid, {}, false, 0}, {"tools-sleeper", "Sleeper", "sleeper"}},
        // A window of this process is our own application.
        {{{}, "quorel", "Quorel", static_cast<unsigned long>(getpid()), {}, false, 0},
         {"app.quorel.Quorel", "Quorel", "app.quorel.Quorel"}},
        // Nothing known: named by its class.
        {{{}, "xterm", "XTerm", 0, {}, false, 0}, {"XTerm", "XTerm", ""}},
    };
    int expectedChanges = 0;
    for (const Case& item : cases) {
        const unsigned long window = wm->createWindow(item.window);
        wm->setActiveWindow(window);
        ++expectedChanges;
        ASSERT_TRUE(waitUntil([&] { return changes == expectedChanges; })) << qPrintable(item.expected.id);
        ASSERT_TRUE(source.frontApplication().has_value());
        EXPECT_EQ(*source.frontApplication(), item.expected) << qPrintable(source.frontApplication()->id);
    }

    // No active window: no front application, and that is a change too.
    wm->setActiveWindow(0);
    ASSERT_TRUE(waitUntil([&] { return changes == expectedChanges + 1; }));
    EXPECT_FALSE(source.frontApplication().has_value());
}

TEST_F(X11FrontApplicationTest, AnotherWindowOfTheSameApplicationIsNoActivation)
{
    X11FrontApplicationSource source(connection);
    int changes = 0;
    QObject::connect(&source, &FrontApplicationSource::frontApplicationChanged, [&] { ++changes; });
    const unsigned long first = wm->createWindow({{}, "weird", "WeirdClass", 0, {}, false, 0});
    const unsigned long second = wm->createWindow({{}, "weird", "WeirdClass", 0, {}, false, 0});
    const unsigned long other = wm->createWindow({{}, "files", "Files", 0, {}, false, 0});
    wm->setActiveWindow(first);
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    wm->setActiveWindow(second);
    wm->setActiveWindow(other);
    // The server reports the changes in order, so once "files" is in front the second window's
    // change has been seen as well.
    ASSERT_TRUE(waitUntil([&] { return source.frontApplication() && source.frontApplication()->id == "files"; }));
    EXPECT_EQ(changes, 2);
    wm->setActiveWindow(first);
    ASSERT_TRUE(waitUntil([&] { return changes == 3; }));
    EXPECT_EQ(source.frontApplication()->id, "weird-player");
}

TEST_F(X11FrontApplicationTest, ListsNormalTaskbarWindowsOncePerProcess)
{
    X11FrontApplicationSource source(connection);
    const unsigned long sleeperPid = static_cast<unsigned long>(sleeper.processId());
    const unsigned long notes =
        wm->createWindow({"org.example.Notes", {}, {}, 0, "_NET_WM_WINDOW_TYPE_NORMAL", false, 0});
    const unsigned long sleeperA = wm->createWindow({{}, {}, {}, sleeperPid, {}, false, 0});
    const unsigned long sleeperB = wm->createWindow({{}, {}, {}, sleeperPid, "_NET_WM_WINDOW_TYPE_NORMAL", false, 0});
    const unsigned long dialog =
        wm->createWindow({{}, "weird", "WeirdClass", 0, "_NET_WM_WINDOW_TYPE_DIALOG", false, 0});
    const unsigned long transient = wm->createWindow({{}, "weird", "WeirdClass", 0, {}, false, notes});
    const unsigned long hidden = wm->createWindow({{}, "files", "Files", 0, {}, true, 0});
    const unsigned long files = wm->createWindow({{}, "files", "Files", 0, {}, false, 0});
    wm->setClientList({notes, sleeperA, sleeperB, dialog, transient, hidden, files});

    std::vector<QString> ids;
    for (const DesktopApplication& application : source.runningApplications()) ids.push_back(application.id);
    EXPECT_EQ(ids, (std::vector<QString>{"org.example.Notes", "tools-sleeper", "files"}));
}

TEST_F(X11FrontApplicationTest, AVanishedServerLeavesTheProcessRunningAndTheSourceUnavailable)
{
    X11FrontApplicationSource source(connection);
    int availabilityChanges = 0;
    QObject::connect(&source, &FrontApplicationSource::availabilityChanged, [&] { ++availabilityChanges; });
    const unsigned long window = wm->createWindow({{}, "files", "Files", 0, {}, false, 0});
    wm->setActiveWindow(window);
    ASSERT_TRUE(waitUntil([&] { return source.frontApplication().has_value(); }));

    wm.reset();
    xvfb.stop();
    // The next read finds the connection closed; the process carries on.
    ASSERT_TRUE(waitUntil([&] { return availabilityChanges == 1; }));
    EXPECT_FALSE(source.isAvailable());
    EXPECT_FALSE(source.frontApplication().has_value());
    EXPECT_TRUE(source.runningApplications().empty());
    EXPECT_FALSE(connection->isAlive());
    EXPECT_TRUE(connection->syncAndTakeErrors().empty());
}

TEST(X11ConnectionTest, NoDisplayOpensNothing) { EXPECT_EQ(X11Connection::open(":9876"), nullptr); }

TEST_F(X11FrontApplicationTest, AWindowThatVanishedIsNoApplicationAndNoEndOfTheProcess)
{
    X11FrontApplicationSource source(connection);
    // Xlib's own handler would end the process on this BadWindow.
    EXPECT_FALSE(source.applicationOfWindow(0x7ffffff).has_value());
    const unsigned long window = wm->createWindow({{}, "files", "Files", 0, {}, false, 0});
    wm->setClientList({0x7ffffff, window});
    ASSERT_EQ(source.runningApplications().size(), 1u);
    EXPECT_TRUE(source.isAvailable());
}
