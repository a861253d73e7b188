#include "ControlChecks.h"
#include "StudioSlider.h"

#include "TestSupport.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

TEST(ControlChecks, RunWritesTheResultFileAndIgnoresAnUnwritableFolder)
{
    test::TemporaryHome home;
    QTemporaryDir folder;
    ASSERT_EQ(ControlChecks::run(folder.path()), 0);
    QFile file(folder.filePath("control-check.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(ControlChecks::successLine));
    EXPECT_EQ(ControlChecks::run(folder.filePath("missing/deeper")), 0);
    EXPECT_FALSE(QFile::exists(folder.filePath("missing/deeper/control-check.txt")));
}
