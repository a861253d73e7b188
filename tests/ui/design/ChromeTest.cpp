#include "WindowChrome.h"
#include "WindowSnapshot.h"

#include "NonRegularTargets.h"
#include "Studio.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <memory>

using namespace quorel;

namespace {

// Everything written to a FILE*, read back.
struct Capture {
    std::FILE* file = std::tmpfile();
    ~Capture() { std::fclose(file); }
    QByteArray text() const
    {
        std::fflush(file);
        std::rewind(file);
        QByteArray out;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) out.append(buf, qsizetype(n));
        return out;
    }
};

// Standard output captured for the lifetime of the object.
struct StdoutCapture {
    Capture capture;
    int saved;
    StdoutCapture()
    {
        std::fflush(stdout);
        saved = dup(fileno(stdout));
        dup2(fileno(capture.file), fileno(stdout));
    }
    ~StdoutCapture() { restore(); }
    void restore()
    {
        if (saved < 0) return;
        std::fflush(stdout);
        dup2(saved, fileno(stdout));
        close(saved);
        saved = -1;
    }
};

std::unique_ptr<QWidget> openWindow(bool logStats = false)
{
    auto window = std::make_unique<QWidget>();
    auto* column = new QVBoxLayout(window.get());
    column->addWidget(new QLabel("content"));
    WindowChrome::attach(window.get(), logStats);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    return window;
}

const char* chromeLine =
    "window chrome: titleHidden=false transparent=false fullSize=false buttonsVisible=[true, true, true] "
    "movableByBackground=true";

}  // namespace

TEST(WindowChrome, StylesTheWindow)
{
    test::TemporaryHome home;
    auto window = openWindow();
    EXPECT_EQ(window->windowTitle(), "Quorel");
    EXPECT_EQ(window->palette().color(QPalette::Window), Studio::background());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(WindowChrome::stateLine(window.get()), chromeLine);
}

TEST(WindowChrome, TheStateLineTellsTheTruth)
{
    QWidget plain;
    plain.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    EXPECT_EQ(WindowChrome::stateLine(&plain),
              "window chrome: titleHidden=true transparent=false fullSize=false buttonsVisible=[true, false, "
              "false] movableByBackground=false");
}

TEST(WindowChrome, PrintsTheLineOnlyUnderLogStats)
{
    test::TemporaryHome home;
    {
        StdoutCapture out;
        auto quiet = openWindow(false);
        out.restore();
        EXPECT_EQ(out.capture.text(), "");
    }
    StdoutCapture out;
    auto logged = openWindow(true);
    out.restore();
    EXPECT_EQ(out.capture.text(), QByteArray(chromeLine) + "\n");
}

TEST(WindowChrome, FirstLaunchResizesAndCentresThenKeepsTheUsersSize)
{
    test::TemporaryHome home;
    {
        auto window = openWindow();
        EXPECT_EQ(window->size(), QSize(1120, 640));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 2);
        EXPECT_EQ(UserDefaults::standard().number(WindowChrome::layoutVersionKey), 3.0);
        window->resize(700, 450);
        window->move(20, 30);
        QApplication::processEvents();
        window->close();
    }
    auto again = openWindow();
    EXPECT_EQ(again->size(), QSize(700, 450));
    EXPECT_EQ(again->pos(), QPoint(20, 30));
}

TEST(WindowChrome, LayoutVersionTwoLaysOutAgainSevenDoesNot)
{
    test::TemporaryHome home;
    UserDefaults::standard().setNumber(WindowChrome::layoutVersionKey, 2);
    EXPECT_EQ(openWindow()->size(), QSize(1120, 640));
    EXPECT_EQ(UserDefaults::standard().number(WindowChrome::layoutVersionKey), 3.0);

    UserDefaults::standard().setNumber(WindowChrome::layoutVersionKey, 7);
    auto window = std::make_unique<QWidget>();
    window->resize(300, 200);
    WindowChrome::attach(window.get(), false);
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(300, 200));
    EXPECT_EQ(UserDefaults::standard().number(WindowChrome::layoutVersionKey), 7.0);
}

TEST(WindowChrome, UnreadableStoredValuesCountAsMissing)
{
    test::TemporaryHome home;
    UserDefaults::standard().setString(WindowChrome::layoutVersionKey, "three");
    EXPECT_EQ(WindowChrome::storedLayoutVersion(UserDefaults::standard()), 0);
    EXPECT_EQ(openWindow()->size(), QSize(1120, 640));

    UserDefaults::standard().setString(WindowChrome::geometryKey, "%%% not base64 %%%");
    EXPECT_FALSE(WindowChrome::storedGeometry(UserDefaults::standard()).has_value());
    UserDefaults::standard().setString(WindowChrome::geometryKey,
                                       QString::fromLatin1(QByteArray("garbage").toBase64()));
    auto window = std::make_unique<QWidget>();
    window->resize(300, 200);
    WindowChrome::attach(window.get(), false);
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(300, 200));
}

TEST(WindowChrome, AGeometryOffEveryScreenOpensOnThePrimaryOne)
{
    test::TemporaryHome home;
    {
        auto window = openWindow();
        window->resize(400, 300);
        window->move(20, 20);
        window->close();
    }
    // Move the stored frame far away by editing what we saved: save a window placed far off.
    {
        QWidget far;
        far.resize(400, 300);
        far.move(30000, 30000);
        UserDefaults::standard().setString(WindowChrome::geometryKey,
                                           QString::fromLatin1(far.saveGeometry().toBase64()));
    }
    auto window = openWindow();
    EXPECT_TRUE(WindowChrome::fitsAScreen(window->frameGeometry()));
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().intersects(window->frameGeometry()));
}

TEST(WindowSnapshot, NoVisibleWindowGivesOnlyTheMessage)
{
    test::TemporaryHome home;
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    QTemporaryDir dir;
    Capture out, err;
    EXPECT_FALSE(WindowSnapshot::save(dir.filePath("shot.png"), out.file, err.file));
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(err.text(), "snapshot: no visible window\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("shot.png")));
}

TEST(WindowSnapshot, AHiddenMainWindowIsNeverStoodInForByAnotherWindow)
{
    test::TemporaryHome home;
    auto window = openWindow();
    window->hide();    // closed to the tray
    QWidget trayIcon;  // a small visible window of our own, as the tray icon's is
    trayIcon.resize(22, 26);
    trayIcon.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&trayIcon));
    trayIcon.activateWindow();
    QApplication::processEvents();
    QTemporaryDir dir;
    Capture out, err;
    EXPECT_FALSE(WindowSnapshot::save(dir.filePath("shot.png"), out.file, err.file));
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(err.text(), "snapshot: no visible window\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("shot.png")));

    window->show();  // back: its picture, not the icon's
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(WindowSnapshot::save(dir.filePath("shot.png"), out.file, err.file));
    EXPECT_EQ(QImage(dir.filePath("shot.png")).size(), window->size() * window->devicePixelRatio());
}

TEST(WindowSnapshot, NoVisibleWindowInPortuguese)
{
    test::TemporaryHome home;
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
    Capture out, err;
    WindowSnapshot::save("/nonexistent/x.png", out.file, err.file);
    EXPECT_EQ(err.text(), "snapshot: nenhuma janela visível\n");
}

TEST(WindowSnapshot, WritesThePngOfTheWindow)
{
    test::TemporaryHome home;
    auto window = openWindow();
    window->resize(320, 200);
    QApplication::processEvents();
    QTemporaryDir dir;
    const QString path = dir.filePath("shot.png");
    Capture out, err;
    ASSERT_TRUE(WindowSnapshot::save(path, out.file, err.file));
    EXPECT_EQ(out.text(), ("snapshot: " + path + "\n").toUtf8());
    EXPECT_EQ(err.text(), "");
    const QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window->size() * window->devicePixelRatio());
    // Replaced whole, and no temporary file is left beside it.
    ASSERT_TRUE(WindowSnapshot::save(path, out.file, err.file));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"shot.png"});
}

TEST(WindowSnapshot, AMissingFolderReportsTheWriteError)
{
    test::TemporaryHome home;
    auto window = openWindow();
    QTemporaryDir dir;
    Capture out, err;
    EXPECT_FALSE(WindowSnapshot::save(dir.filePath("missing/shot.png"), out.file, err.file));
    EXPECT_EQ(out.text(), "");
    EXPECT_TRUE(err.text().startsWith("snapshot: "));
    EXPECT_GT(err.text().size(), qsizetype(strlen("snapshot: \n")));
    EXPECT_TRUE(err.text().endsWith("\n"));
}

// A FIFO, a device or a link to one at the path: refused on standard error, in the saved
// language, and left as it is; nothing is said on standard output.
TEST(WindowSnapshot, AFifoOrADeviceIsRefusedAndLeftAsItIs)
{
    test::TemporaryHome home;
    auto window = openWindow();
    QTemporaryDir dir;
    test::NonRegularTargets targets(dir.path());
    for (const QString& path : targets.all()) {
        Capture out, err;
        EXPECT_FALSE(WindowSnapshot::save(path, out.file, err.file)) << path.toStdString();
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(err.text(), ("snapshot: The file " + path + " is not a regular file.\n").toUtf8());
    }
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    Capture out, err;
    EXPECT_FALSE(WindowSnapshot::save(targets.fifo(), out.file, err.file));
    EXPECT_EQ(err.text(), ("snapshot: O arquivo " + targets.fifo() + " não é um arquivo comum.\n").toUtf8());
    EXPECT_EQ(targets.changes(), QString());
}
