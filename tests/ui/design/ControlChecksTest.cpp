#include "ControlChecks.h"
#include "StudioSlider.h"

#include "NonRegularTargets.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace quorel;

namespace {

class IncrementIgnoringTheStep : public StudioSlider {
public:
    explicit IncrementIgnoringTheStep(QWidget* parent) : StudioSlider(Qt::Horizontal, parent) {}
    double increment() const override { return 1.0; }
};

class ActingWhileDisabled : public StudioSlider {
public:
    explicit ActingWhileDisabled(QWidget* parent) : StudioSlider(Qt::Horizontal, parent) {}
    bool acceptsInput() const override { return true; }
};

class RefusingFocus : public StudioSlider {
public:
    explicit RefusingFocus(QWidget* parent) : StudioSlider(Qt::Horizontal, parent) { setFocusPolicy(Qt::NoFocus); }
};

template <typename Slider>
ControlChecks::SliderFactory make()
{
    return [](QWidget* host) -> QWidget* { return new Slider(host); };
}

}  // namespace

TEST(ControlChecks, ACorrectSliderPassesAllSix)
{
    test::TemporaryHome home;
    EXPECT_EQ(ControlChecks::check(), 0);
}

TEST(ControlChecks, FaultySlidersFailTheirCheck)
{
    test::TemporaryHome home;
    EXPECT_EQ(ControlChecks::check(make<IncrementIgnoringTheStep>()), 1);
    EXPECT_EQ(ControlChecks::check(make<ActingWhileDisabled>()), 6);
    EXPECT_EQ(ControlChecks::check(make<RefusingFocus>()), 3);
}

TEST(ControlChecks, NoSliderInTheTree)
{
    test::TemporaryHome home;
    EXPECT_EQ(ControlChecks::check([](QWidget* host) -> QWidget* { return new QLabel("none", host); }),
              ControlChecks::noSlider);
}

TEST(ControlChecks, NestedSliderIsFound)
{
    test::TemporaryHome home;
    EXPECT_EQ(ControlChecks::check([](QWidget* host) -> QWidget* {
                  auto* box = new QWidget(host);
                  new QLabel("first", box);
                  new StudioSlider(Qt::Horizontal, box);
                  return box;
              }),
              0);
}

TEST(ControlChecks, RunWritesTheResultFileAndSaysWhenItCannot)
{
    test::TemporaryHome home;
    QTemporaryDir folder;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_EQ(ControlChecks::run(folder.path(), out, err), 0);
    QFile file(folder.filePath("control-check.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(ControlChecks::successLine));
    EXPECT_EQ(test::fileBytes(out), QByteArray(ControlChecks::successLine) + "\n");
    EXPECT_TRUE(test::fileBytes(err).isEmpty());

    // A folder that cannot take the file: the reason on stderr and a failure status.
    const QString missing = folder.filePath("missing/deeper");
    EXPECT_EQ(ControlChecks::run(missing, out, err), 1);
    EXPECT_FALSE(QFile::exists(missing + "/control-check.txt"));
    const QString said = QString::fromUtf8(test::fileBytes(err));
    EXPECT_TRUE(said.startsWith("Could not write " + missing + "/control-check.txt: ")) << said.toStdString();
    EXPECT_TRUE(said.endsWith("\n"));
    std::fclose(out);
    std::fclose(err);
}

// An installed binary's folder (/usr/bin) is not the user's: the result goes to the state folder.
TEST(ControlChecks, ResultFolderIsBesideTheBinaryOrInTheStateFolder)
{
    test::TemporaryHome home;
    QTemporaryDir folder;
    EXPECT_EQ(ControlChecks::resultFolder(folder.path()), folder.path());
    qputenv("XDG_STATE_HOME", QFile::encodeName(folder.filePath("state")));
    EXPECT_EQ(ControlChecks::resultFolder(folder.filePath("no-such-folder")), folder.filePath("state/Quorel"));
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(ControlChecks::resultFolder(folder.filePath("no-such-folder")),
              QDir::homePath() + "/.local/state/Quorel");
}

// Something other than a regular file where the result goes (a FIFO, a device, a link to one):
// refused with the reason and a failure status, and left as it is.
TEST(ControlChecks, AResultFileThatIsNoRegularFileIsRefused)
{
    test::TemporaryHome home;
    QTemporaryDir made;
    test::NonRegularTargets targets(made.path());
    for (const QString& target : targets.all()) {
        QTemporaryDir folder;
        const QString path = folder.filePath("control-check.txt");
        ASSERT_TRUE(QFile::link(target, path));
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        EXPECT_EQ(ControlChecks::run(folder.path(), out, err), 1) << target.toStdString();
        EXPECT_EQ(QString::fromUtf8(test::fileBytes(err)),
                  "Could not write " + path + ": The file " + path + " is not a regular file.\n");
        EXPECT_EQ(QFile::symLinkTarget(path), target);
        std::fclose(out);
        std::fclose(err);
    }
    EXPECT_EQ(targets.changes(), QString());
}
