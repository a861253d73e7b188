#include "DesktopEntryIndex.h"
#include "ScopedEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ctime>
#include <utime.h>

using namespace quorel;

namespace {

void write(const QString& path, const QByteArray& body)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(body);
}

}  // namespace

TEST(DesktopEntryIndex, ProgramOfExec)
{
    EXPECT_EQ(DesktopEntryIndex::programOfExec("firefox %u"), "firefox");
    EXPECT_EQ(DesktopEntryIndex::programOfExec("/usr/bin/foo --x %U"), "/usr/bin/foo");
    EXPECT_EQ(DesktopEntryIndex::programOfExec("env GDK_BACKEND=x11 A=1 bar"), "bar");
    EXPECT_EQ(DesktopEntryIndex::programOfExec("\"/opt/My App/run\" %F"), "/opt/My App/run");
    EXPECT_EQ(DesktopEntryIndex::programOfExec(""), "");
}

TEST(DesktopEntryIndex, ReadsLocalizedNamesAndSkipsWhatIsNoApplication)
{
    QTemporaryDir folder;
    write(folder.path() + "/a.desktop",
          "# comment\n[Desktop Entry]\nType=Application\nName=Player\nName[pt]=Tocador\nName[pt_BR]=Reprodutor\n"
          "Icon=player\nExec=player %U\n[Desktop Action new]\nName=Not this\nExec=other\n");
    write(folder.path() + "/link.desktop", "[Desktop Entry]\nType=Link\nName=Web\nURL=https://example.org\n");
    write(folder.path() + "/hidden.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");

    auto entry = DesktopEntryIndex::parse(folder.path() + "/a.desktop", "a", "pt_BR");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Reprodutor");
    EXPECT_EQ(entry->icon, "player");
    EXPECT_EQ(entry->program, "player");
    EXPECT_EQ(DesktopEntryIndex::parse(folder.path() + "/a.desktop", "a", "pt_PT")->name, "Tocador");
    EXPECT_EQ(DesktopEntryIndex::parse(folder.path() + "/a.desktop", "a", "de_DE")->name, "Player");
    EXPECT_FALSE(DesktopEntryIndex::parse(folder.path() + "/link.desktop", "link", {}));
    EXPECT_FALSE(DesktopEntryIndex::parse(folder.path() + "/hidden.desktop", "hidden", {}));
    EXPECT_FALSE(DesktopEntryIndex::parse(folder.path() + "/missing.desktop", "missing", {}));
}

TEST(DesktopEntryIndex, EarlierFoldersWinAndNewEntriesAreFound)
{
    QTemporaryDir home;
    QTemporaryDir system;
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", home.path().toUtf8());
    test::ScopedEnvironment dataDirs("XDG_DATA_DIRS", system.path().toUtf8());
    write(home.path() + "/applications/org.example.App.desktop", "[Desktop Entry]\nType=Application\nName=Mine\n");
    write(system.path() + "/applications/org.example.App.desktop", "[Desktop Entry]\nType=Application\nName=System\n");
    write(system.path() + "/applications/kde/editor.desktop",
          "[Desktop Entry]\nType=Application\nName=Editor\nStartupWMClass=KEdit\n");

    DesktopEntryIndex index("C");
    EXPECT_EQ(index.byID("org.example.App")->name, "Mine");
    EXPECT_EQ(index.byWindowClass("kedit", "KEdit")->id, "kde-editor");
    EXPECT_EQ(index.byWindowClass("x", "ORG.EXAMPLE.APP")->id, "org.example.App");
    EXPECT_FALSE(index.byID("later"));

    // An entry installed later is found on the next look-up.
    write(home.path() + "/applications/later.desktop",
          "[Desktop Entry]\nType=Application\nName=Later\nExec=/usr/bin/later\n");
    const time_t later = time(nullptr) + 5;
    const utimbuf stamp{later, later};
    ASSERT_EQ(utime(QFile::encodeName(home.path() + "/applications").constData(), &stamp), 0);
    EXPECT_EQ(index.byID("later")->name, "Later");
    EXPECT_EQ(index.byProgram({"/usr/bin/later"})->id, "later");
    EXPECT_FALSE(index.byProgram({"/usr/bin/nothing"}));
}
