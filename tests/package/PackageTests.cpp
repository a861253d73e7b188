#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using quorel::test::waitUntil;

namespace {

struct CommandResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CommandResult run(const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    CommandResult result;
    if (!process.waitForFinished(600'000) || process.exitStatus() != QProcess::NormalExit) {
        result.err = program + QStringLiteral(" did not finish: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The installed package of a library: `name` itself, or `name` + "t64" where the system renamed
// it for 64-bit time (Debian 13); empty when neither is installed.
QString installedPackage(const QString& name)
{
    for (const QString& candidate : {name, name + QStringLiteral("t64")}) {
        const CommandResult status = run(QStringLiteral("dpkg-query"), {"-W", "-f=${Status}", candidate});
        if (status.exitCode == 0 && status.out.endsWith(QStringLiteral(" installed"))) return candidate;
    }
    return {};
}

// A process that lives as long as the object.
struct Background {
    QProcess process;
    ~Background()
    {
        process.terminate();
        if (!process.waitForFinished(5000)) process.kill();
        process.waitForFinished(5000);
    }
};

// The package is made once, into a temporary folder, and unpacked beside it.
class Package : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work_ = std::make_unique<QTemporaryDir>();
        const QString config = quorel::test::buildPath("CPackConfig.cmake");
        const CommandResult cpack =
            run(QStringLiteral("cpack"), {"-G", "DEB", "-B", work_->path(), "--config", config});
        ASSERT_EQ(cpack.exitCode, 0) << cpack.out.toStdString() << cpack.err.toStdString();
        const QString arch = run(QStringLiteral("dpkg"), {"--print-architecture"}).out.trimmed();
        deb_ = work_->filePath(QStringLiteral("quorel_%1_%2.deb").arg(QStringLiteral(QUOREL_VERSION), arch));
        ASSERT_TRUE(QFile::exists(deb_)) << cpack.out.toStdString();
        root_ = work_->filePath(QStringLiteral("root"));
        ASSERT_EQ(run(QStringLiteral("dpkg-deb"), {"-x", deb_, root_}).exitCode, 0);
    }
    static void TearDownTestSuite() { work_.reset(); }

    void SetUp() override { ASSERT_TRUE(QFile::exists(deb_)) << "no package was made"; }

    static QString field(const QString& name)
    {
        return run(QStringLiteral("dpkg-deb"), {"-f", deb_, name}).out.trimmed();
    }

    // A desktop where only the unpacked package and the system's own data are installed.
    static QProcessEnvironment desktopEnvironment(const QString& home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_DIRS", root_ + "/usr/share:/usr/share");
        environment.insert("XDG_DATA_HOME", home + "/data");
        environment.insert("XDG_CONFIG_HOME", home + "/config");
        environment.insert("XDG_CONFIG_DIRS", home + "/etc");
        environment.insert("HOME", home);
        environment.insert("XDG_CURRENT_DESKTOP", "GNOME");  // xdg-mime asks GIO, which reads shared-mime-info
        return environment;
    }

    static inline std::unique_ptr<QTemporaryDir> work_;
    static inline QString deb_;
    static inline QString root_;
};

TEST_F(Package, FieldsNameTheRunTimeNeeds)
{
    EXPECT_EQ(field("Package"), "quorel");
    EXPECT_EQ(field("Version"), QUOREL_VERSION);
    EXPECT_EQ(field("Architecture"), run("dpkg", {"--print-architecture"}).out.trimmed());
    const QStringList depends = field("Depends").split(", ");
    for (const char* needed :
         {"pipewire", "pipewire-pulse", "wireplumber", "pipewire-bin", "libqt6svg6", "qt6-wayland"})
        EXPECT_TRUE(depends.contains(needed)) << needed << " missing from " << depends.join(", ").toStdString();
    // The libraries the program links, as dpkg-shlibdeps found them: named as this system's
    // installed package of each (Debian 13 adds "t64" to some names: libssl3t64).
    for (const char* library :
         {"libqt6widgets6", "libqt6dbus6", "libpipewire-0.3-0", "libpulse0", "libfftw3-single3", "libssl3"}) {
        const QString installed = installedPackage(library);
        ASSERT_FALSE(installed.isEmpty()) << library << " is not installed";
        EXPECT_TRUE(depends.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(installed))).size() == 1)
            << installed.toStdString() << " missing from " << depends.join(", ").toStdString();
    }
    EXPECT_EQ(field("Recommends"), "qt6-translations-l10n");
}

TEST_F(Package, HoldsTheProgramAndItsDesktopFilesUnderUsr)
{
    // "-rwxr-xr-x root/root 123 2026-12-09 07:00 ./usr/bin/quorel": every entry owned by root.
    const CommandResult listing = run("dpkg-deb", {"-c", deb_});
    ASSERT_EQ(listing.exitCode, 0);
    QStringList files;
    for (const QString& line : listing.out.split('\n', Qt::SkipEmptyParts)) {
        const QStringList columns = line.split(' ', Qt::SkipEmptyParts);
        ASSERT_GE(columns.size(), 6) << line.toStdString();
        EXPECT_EQ(columns[1], "root/root") << line.toStdString();
        if (line.startsWith('-')) files << line.mid(line.indexOf(QStringLiteral(" ./")) + 2);
    }
    const auto has = [&](const QString& path) { return files.contains(path); };
    EXPECT_TRUE(has("/usr/bin/quorel"));
    EXPECT_TRUE(has("/usr/share/applications/app.quorel.Quorel.desktop"));
    EXPECT_TRUE(has("/usr/share/metainfo/app.quorel.Quorel.metainfo.xml"));
    EXPECT_TRUE(has("/usr/share/mime/packages/app.quorel.Quorel.xml"));
    EXPECT_TRUE(has("/usr/share/quorel/HeadphoneProfiles.json"));
    // Every committed icon size, under the application id.
    QDir sizes(QStringLiteral(QUOREL_SOURCE_DIR "/resources/icons/hicolor"));
    const QStringList committed = sizes.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_FALSE(committed.isEmpty());
    for (const QString& size : committed)
        EXPECT_TRUE(has("/usr/share/icons/hicolor/" + size + "/apps/app.quorel.Quorel.png")) << size.toStdString();
    // Nothing outside /usr, no development tool, no test.
    for (const QString& file : files) {
        EXPECT_TRUE(file.startsWith("/usr/bin/quorel") || file.startsWith("/usr/share/")) << file.toStdString();
        EXPECT_FALSE(file.contains("quorel-tool") || file.contains("_tests")) << file.toStdString();
    }
}

TEST_F(Package, TheUnpackedProgramTellsItsVersionWithoutADisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    const CommandResult version = run(root_ + "/usr/bin/quorel", {"--version"}, environment);
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("Quorel " QUOREL_VERSION " (build ")))
        << version.out.toStdString();
}

TEST_F(Package, DesktopEntryAndMetainfoValidate)
{
    const CommandResult desktop =
        run("desktop-file-validate", {root_ + "/usr/share/applications/app.quorel.Quorel.desktop"});
    EXPECT_EQ(desktop.exitCode, 0);
    EXPECT_EQ(desktop.out.trimmed() + desktop.err.trimmed(), QString());
    const CommandResult metainfo = run("appstreamcli", {"validate", "--no-net", "--no-color",
                                                        root_ + "/usr/share/metainfo/app.quorel.Quorel.metainfo.xml"});
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.out.toStdString() << metainfo.err.toStdString();
    // No error, warning or note, but the two notes no file can avoid on both appstream 0.16
    // (Debian 12), which knows only <developer_name>, and 1.0 (Debian 13), which calls it
    // deprecated and asks for <developer>.
    static const QRegularExpression unavoidable(R"(^I: [^ ]+ (developer-name-tag-deprecated|developer-info-missing)$)");
    for (const QString& line : metainfo.out.split('\n'))
        EXPECT_FALSE(line.contains(QRegularExpression("^[IWE]:")) && !line.contains(unavoidable)) << line.toStdString();
}

TEST_F(Package, PresetFilesAndURLsOpenWithQuorel)
{
    QTemporaryDir home;
    const QProcessEnvironment environment = desktopEnvironment(home.path());
    // What the system's triggers do on install: build the MIME database and the desktop
    // database of the unpacked tree.
    ASSERT_EQ(run("update-mime-database", {root_ + "/usr/share/mime"}).exitCode, 0);
    ASSERT_EQ(run("update-desktop-database", {root_ + "/usr/share/applications"}).exitCode, 0);

    for (const QString name : {"Night.quorelpreset", "Old.corvantapreset"}) {
        const QString path = home.filePath(name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\"name\": \"Night\"}\n");
        file.close();
        const CommandResult type = run("xdg-mime", {"query", "filetype", path}, environment);
        EXPECT_EQ(type.out.trimmed(), "application/x-quorel-preset") << name.toStdString() << type.err.toStdString();
    }
    for (const char* type : {"application/x-quorel-preset", "x-scheme-handler/quorel", "x-scheme-handler/corvanta"}) {
        const CommandResult handler = run("xdg-mime", {"query", "default", type}, environment);
        EXPECT_EQ(handler.out.trimmed(), "app.quorel.Quorel.desktop") << type << handler.err.toStdString();
    }
}

// On a Wayland session (a headless Weston here) the installed program comes up natively: the
// window's application id is ours, and nothing falls back to X11.
TEST_F(Package, TheUnpackedProgramRunsNativelyOnWayland)
{
    if (QStandardPaths::findExecutable("weston").isEmpty()) GTEST_SKIP() << "weston is not installed";
    QTemporaryDir runtime;  // mode 700, as XDG_RUNTIME_DIR must be
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"}) environment.remove(name);
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("XDG_CONFIG_HOME", runtime.filePath("config"));

    Background weston;
    weston.process.setProcessEnvironment(environment);
    weston.process.start("weston", {"--backend=headless-backend.so", "--socket=quorel-test", "--idle-time=0"});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(runtime.filePath("quorel-test")); }, 20000))
        << "weston did not start";
    Background bus;
    bus.process.start("dbus-daemon", {"--session", "--nofork", "--address=unix:path=" + runtime.filePath("bus")});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(runtime.filePath("bus")); }, 20000)) << "no session bus";

    environment.insert("WAYLAND_DISPLAY", "quorel-test");
    environment.insert("XDG_SESSION_TYPE", "wayland");
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime.filePath("bus"));
    environment.insert("WAYLAND_DEBUG", "client");  // the protocol trace shows the window's id
    const QString snapshot = runtime.filePath("window.png");
    Background quorel;
    quorel.process.setProcessEnvironment(environment);
    quorel.process.start(root_ + "/usr/bin/quorel", {"--snapshot", snapshot});
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(snapshot); }, 60000)) << "no window was drawn";
    quorel.process.terminate();
    ASSERT_TRUE(quorel.process.waitForFinished(20000));
    EXPECT_EQ(quorel.process.exitStatus(), QProcess::NormalExit);

    const QString log = QString::fromUtf8(quorel.process.readAllStandardError());
    // "xdg_toplevel@15.set_app_id(...)" (libwayland 1.21) or "xdg_toplevel#15..." (1.23).
    EXPECT_TRUE(log.contains(QRegularExpression(R"(xdg_toplevel[@#]\d+\.set_app_id\("app\.quorel\.Quorel"\))")))
        << log.left(4000).toStdString();
    for (const QString& line : log.split('\n')) {
        if (line.startsWith('[')) continue;  // the protocol trace
        EXPECT_FALSE(line.contains("X11") || line.contains("xcb") || line.contains("display")) << line.toStdString();
    }
}

}  // namespace
