#include "CardHeader.h"
#include "LanguageBinding.h"
#include "PanelHeading.h"
#include "Plate.h"
#include "SegmentedControl.h"
#include "SelectableButton.h"
#include "Studio.h"
#include "StudioPanel.h"

#include "TestSupport.h"

#include <QHBoxLayout>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

using namespace quorel;

namespace {

// Three segments "Off", "80", "120" of a tinted control, laid out at their preferred size.
struct Choice {
    QWidget window;
    SegmentedControl* control;

    explicit Choice(SegmentedControl::Look look) : control(new SegmentedControl(look, &window))
    {
        for (const char* text : {"Off", "80", "120"}) control->addSegment()->setText(text);
        control->resize(control->sizeHint());
        window.resize(control->sizeHint());
        window.show();
    }
};

}  // namespace

TEST(SegmentedControl, SelectsAtMostOneSegment)
{
    Choice choice(SegmentedControl::Look::tinted);
    SegmentedControl& control = *choice.control;
    ASSERT_EQ(control.count(), 3);
    control.select(1);
    EXPECT_FALSE(control.segment(0)->isSelected());
    EXPECT_TRUE(control.segment(1)->isSelected());
    EXPECT_FALSE(control.segment(2)->isSelected());
    control.select(-1);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(control.segment(i)->isSelected());
}

TEST(SegmentedControl, AClickTellsWhichSegmentWithoutSelectingIt)
{
    Choice choice(SegmentedControl::Look::tinted);
    QSignalSpy chosen(choice.control, &SegmentedControl::chosen);
    QTest::mouseClick(choice.control->segment(2), Qt::LeftButton);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 2);
    EXPECT_FALSE(choice.control->segment(2)->isSelected());  // the owner's model decides
}

TEST(SegmentedControl, RaisedSegmentsShareTheWidthTintedOnesFitTheirText)
{
    Choice raised(SegmentedControl::Look::raised);
    raised.control->resize(300, raised.control->sizeHint().height());
    QApplication::processEvents();
    EXPECT_EQ(raised.control->segment(0)->width(), raised.control->segment(2)->width());

    Choice tinted(SegmentedControl::Look::tinted);
    EXPECT_LT(tinted.control->segment(1)->width(), tinted.control->segment(2)->width());
}

TEST(Plate, FillsItsRoundedRectangleAndLeavesTheCornersClear)
{
    Plate plate(8, QColor(10, 200, 30));
    plate.resize(40, 20);
    QImage image(plate.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    plate.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixelColor(20, 10), QColor(10, 200, 30));
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
}

TEST(CardHeader, PutsTheHeadingRowOnTopOfTheCard)
{
    QWidget page;
    StudioPanel* card = StudioPanel::filling(&page, 14);
    EXPECT_EQ(page.layout()->contentsMargins(), QMargins());
    EXPECT_EQ(page.layout()->itemAt(0)->widget(), card);
    EXPECT_EQ(card->padding(), 14);

    const CardHeader header = addCardHeader(card, QStringLiteral("keyboard"));
    EXPECT_EQ(header.heading->symbol(), "keyboard");
    EXPECT_EQ(header.heading->itemCount(), 2);  // no detail
    EXPECT_EQ(card->contentLayout()->itemAt(0)->layout(), header.row);
    ASSERT_EQ(header.row->count(), 2);
    EXPECT_EQ(header.row->itemAt(0)->widget(), header.heading);
    EXPECT_NE(header.row->itemAt(1)->spacerItem(), nullptr);  // what the owner adds goes right

    const CardHeader detailed = addCardHeader(card, QStringLiteral("link"), QString());
    EXPECT_EQ(detailed.heading->itemCount(), 3);
    EXPECT_EQ(card->contentLayout()->itemAt(1)->layout(), detailed.row);
}

TEST(LanguageBinding, RefreshesOnEachChangeWhileTheOwnerLives)
{
    test::TemporaryHome home;
    int refreshed = 0;
    auto owner = std::make_unique<QObject>();
    LanguageBinding::follow(owner.get(), [&refreshed] { ++refreshed; });
    EXPECT_EQ(refreshed, 0);  // the owner renders its first texts itself
    LocalizationModel::shared().setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(refreshed, 1);
    owner.reset();
    LocalizationModel::shared().setLanguage(AppLanguage::english);
    EXPECT_EQ(refreshed, 1);
}

TEST(Studio, OneWarningColour) { EXPECT_EQ(Studio::warning(), QColor(255, 149, 0)); }
