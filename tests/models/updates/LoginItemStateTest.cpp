#include "AutostartEntry.h"
#include "LoginItemState.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include "SignalCounter.h"
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

using test::fileBytes;

void writeFile(const QString& path, const QByteArray& contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// A temporary configuration home and system configuration folders.
class LoginItem : public testing::Test {
protected:
    LoginItem()
    {
        hadDirs_ = qEnvironmentVariableIsSet("XDG_CONFIG_DIRS");
        previousDirs_ = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_DIRS", (systemDir_.path() + "/first:" + systemDir_.path() + "/second").toUtf8());
    }
    ~LoginItem() override
    {
        if (hadDirs_)
            qputenv("XDG_CONFIG_DIRS", previousDirs_);
        else
            qunsetenv("XDG_CONFIG_DIRS");
    }

    QString userEntry() const { return home_.configHome() + "/autostart/app.quorel.Quorel.desktop"; }
    QString oldUserEntry() const { return home_.configHome() + "/autostart/quorel.desktop"; }
    QString systemEntry() const { return systemDir_.path() + "/second/autostart/app.quorel.Quorel.desktop"; }
    // The Exec line of an entry that starts this program.
    static QByteArray execThis() { return "Exec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n"; }

    test::TemporaryHome home_;
    QTemporaryDir systemDir_;
    bool hadDirs_ = false;
    QByteArray previousDirs_;
};

}  // namespace

TEST_F(LoginItem, RoundTrip)
{
    EXPECT_EQ(AutostartEntry::userEntryPath(), userEntry());
    LoginItemState state;
    EXPECT_FALSE(state.enabled());
    EXPECT_FALSE(state.error());
    test::SignalCounter enabledSpy(&state, &LoginItemState::enabledChanged);

    state.set(true);
    EXPECT_TRUE(state.enabled());
    EXPECT_FALSE(state.error());
    EXPECT_EQ(enabledSpy.count(), 1);
    const QByteArray entry = fileBytes(userEntry());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_TRUE(entry.contains("\nExec=\"" + QCoreApplication::applicationFilePath().toUtf8() + "\"\n"));
    EXPECT_FALSE(entry.contains("--system"));
    EXPECT_FALSE(entry.contains("Hidden"));
    EXPECT_TRUE(LoginItemState().enabled());  // a new state reads the same

    state.set(false);
    EXPECT_FALSE(state.enabled());
    EXPECT_FALSE(state.error());
    EXPECT_FALSE(QFile::exists(userEntry()));
    EXPECT_EQ(enabledSpy.count(), 2);
    state.set(false);  // nothing left to remove: still a success
    EXPECT_FALSE(state.error());
}

TEST_F(LoginItem, AHiddenEntryIsNotEnabled)
{
    writeFile(userEntry(), "[Desktop Entry]\nType=Application\n" + execThis() + "Hidden=true\n");
    EXPECT_FALSE(LoginItemState().enabled());
    writeFile(userEntry(), "[Desktop Entry]\nType=Application\n" + execThis() + "Hidden=false\n");
    EXPECT_TRUE(LoginItemState().enabled());
    // Hidden only counts in the main group.
    writeFile(userEntry(), "[Desktop Entry]\n" + execThis() + "[Desktop Action x]\nHidden=true\n");
    EXPECT_TRUE(LoginItemState().enabled());
}

TEST_F(LoginItem, OnlyAnEntryThatWouldStartQuorelIsEnabled)
{
    const auto enabledWith = [&](const QByteArray& keys) {
        writeFile(userEntry(), "[Desktop Entry]\nType=Application\n" + keys);
        return LoginItemState().enabled();
    };
    EXPECT_TRUE(enabledWith(execThis()));
    EXPECT_TRUE(enabledWith(execThis() + "X-GNOME-Autostart-enabled=true\n"));
    EXPECT_TRUE(enabledWith("Exec=env A=1 \"" + QCoreApplication::applicationFilePath().toUtf8() + "\" %U\n"));
    // Switched off the way GNOME's own tools do it.
    EXPECT_FALSE(enabledWith(execThis() + "X-GNOME-Autostart-enabled=false\n"));
    // Another program, no program, a program that is not there.
    EXPECT_FALSE(enabledWith("Exec=/bin/true\n"));
    EXPECT_FALSE(enabledWith("Name=Quorel\n"));
    EXPECT_FALSE(enabledWith("Exec=" + home_.path().toUtf8() + "/gone/quorel\n"));
    // A system-wide entry that the desktop would not start is not hidden on disable either.
    QFile::remove(userEntry());
    writeFile(systemEntry(), "[Desktop Entry]\nType=Application\nExec=/bin/true\n");
    LoginItemState state;
    EXPECT_FALSE(state.enabled());
    state.set(false);
    EXPECT_FALSE(QFile::exists(userEntry()));
}

TEST_F(LoginItem, AnEntryUnderTheOldNameIsReplaced)
{
    // An earlier build's entry, starting that build's program: read as on, rewritten under the
    // new name for this program, and the old one gone.
    const QString earlierBuild = home_.path() + "/build/release/Quorel/quorel";
    writeFile(earlierBuild, "#!/bin/sh\n");
    QFile(earlierBuild).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(oldUserEntry(), "[Desktop Entry]\nType=Application\nExec=\"" + earlierBuild.toUtf8() + "\"\n");
    {
        LoginItemState state;
        EXPECT_TRUE(state.enabled());
        EXPECT_FALSE(state.error());
    }
    EXPECT_FALSE(QFile::exists(oldUserEntry()));
    EXPECT_TRUE(fileBytes(userEntry()).contains("\n" + execThis()));

    // One switched off is removed, and stays off.
    QFile::remove(userEntry());
    writeFile(oldUserEntry(), "[Desktop Entry]\nType=Application\n" + execThis() + "X-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(LoginItemState().enabled());
    EXPECT_FALSE(QFile::exists(oldUserEntry()));
    EXPECT_FALSE(QFile::exists(userEntry()));

    // Switching off removes both names, so nothing is left behind twice.
    LoginItemState state;
    state.set(true);
    writeFile(oldUserEntry(), "[Desktop Entry]\nType=Application\n" + execThis());
    state.set(false);
    EXPECT_FALSE(state.enabled());
    EXPECT_FALSE(QFile::exists(oldUserEntry()));
    EXPECT_FALSE(QFile::exists(userEntry()));
}

TEST_F(LoginItem, ASystemWideEntryIsHiddenOnDisable)
{
    writeFile(systemEntry(), "[Desktop Entry]\nType=Application\n" + execThis());
    LoginItemState state;
    EXPECT_TRUE(state.enabled());

    state.set(false);
    EXPECT_FALSE(state.error());
    EXPECT_FALSE(state.enabled());
    EXPECT_TRUE(fileBytes(userEntry()).contains("\nHidden=true\n"));
    EXPECT_TRUE(QFile::exists(systemEntry()));  // never touched

    state.set(true);
    EXPECT_TRUE(state.enabled());
    EXPECT_FALSE(fileBytes(userEntry()).contains("Hidden"));
}

TEST_F(LoginItem, AnUnwritableFolderGivesTheErrorAndALaterSuccessClearsIt)
{
    // A plain file where the autostart folder belongs: no user, not even root, can write there.
    writeFile(home_.configHome() + "/autostart", "not a folder");
    LoginItemState state;
    test::SignalCounter errorSpy(&state, &LoginItemState::errorChanged);

    state.set(true);
    ASSERT_TRUE(state.error());
    EXPECT_TRUE(state.error()->contains("autostart")) << state.error()->toStdString();
    EXPECT_FALSE(state.enabled());
    EXPECT_EQ(errorSpy.count(), 1);

    ASSERT_TRUE(QFile::remove(home_.configHome() + "/autostart"));
    state.set(true);
    EXPECT_FALSE(state.error());
    EXPECT_TRUE(state.enabled());
    EXPECT_EQ(errorSpy.count(), 2);
}

TEST_F(LoginItem, AnEntryThatCannotBeRemovedGivesTheError)
{
    // A folder in the entry's place cannot be removed as a file.
    QDir().mkpath(userEntry() + "/inside");
    LoginItemState state;
    state.set(false);
    ASSERT_TRUE(state.error());
    EXPECT_TRUE(state.error()->contains("app.quorel.Quorel.desktop"));
}

TEST(AutostartExec, QuotesAndEscapesThePath)
{
    EXPECT_EQ(AutostartEntry::execValue("/opt/Quorel/quorel"), "\"/opt/Quorel/quorel\"");
    EXPECT_EQ(AutostartEntry::execValue("/home/a b/quorel"), "\"/home/a b/quorel\"");
    // $ ` " take one backslash inside the quotes, % is doubled, and the file's own escaping
    // doubles every backslash once more.
    EXPECT_EQ(AutostartEntry::execValue("/x/$HOME`\"%/q"), "\"/x/\\\\$HOME\\\\`\\\\\"%%/q\"");
    EXPECT_EQ(AutostartEntry::execValue("/x\\y"), "\"/x\\\\\\\\y\"");
}
