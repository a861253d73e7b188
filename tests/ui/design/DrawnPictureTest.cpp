// The label check of the picture tests: a label with text needs ink where it is in view, and a
// label scrolled to the edge of its view, showing only the blank above its text, is not judged.
#include "DrawnPicture.h"

#include <QCoreApplication>
#include <QLabel>
#include <QScrollArea>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QColor background(12, 13, 18);  // the window background the picture checks expect

void paint(QWidget* widget, const QColor& ground, const QColor& ink)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, ground);
    p.setColor(QPalette::WindowText, ink);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

// A window whose scrolling view (200 pixels high) holds one label at `y` in its contents.
struct ScrolledLabel {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLabel* label = nullptr;

    ScrolledLabel(const QColor& ink, int y)
    {
        paint(window.get(), background, ink);
        window->resize(300, 200);
        auto* view = new QScrollArea(window.get());
        view->setGeometry(0, 0, 300, 200);
        view->setFrameShape(QFrame::NoFrame);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        auto* contents = new QWidget;
        paint(contents, background, ink);
        contents->resize(300, 400);
        label = new QLabel(QStringLiteral("STOPPED"), contents);
        label->adjustSize();
        label->move(10, y);
        view->setWidget(contents);
        window->show();
        QCoreApplication::processEvents();
    }

    void expectDrawn() const { quorel::test::expectDrawn(window.get(), window->grab().toImage(), "scrolled"); }
};

// The view shows the label's top row only, the blank above its letters.
TEST(DrawnPicture, LabelScrolledToTheEdgeOfItsViewIsNotJudged)
{
    const ScrolledLabel edge(Qt::white, 199);
    ASSERT_GT(edge.label->height(), 4);
    edge.expectDrawn();
}

// Text in the ground's colour draws no ink: a failure while the label is in view, or three
// quarters of it.
TEST(DrawnPicture, LabelWithoutInkFails)
{
    const ScrolledLabel whole(background, 10);
    EXPECT_NONFATAL_FAILURE(whole.expectDrawn(), "'STOPPED' shows no text");
    const ScrolledLabel mostly(background, 200 - whole.label->height() * 3 / 4);
    EXPECT_NONFATAL_FAILURE(mostly.expectDrawn(), "'STOPPED' shows no text");
}

// The same label with ink passes wherever most of it is in view.
TEST(DrawnPicture, LabelWithInkPasses)
{
    const ScrolledLabel whole(Qt::white, 10);
    whole.expectDrawn();
    const ScrolledLabel mostly(Qt::white, 200 - whole.label->height() * 3 / 4);
    mostly.expectDrawn();
}

}  // namespace
