#include "ShellHarness.h"

#include "Sidebar.h"
#include "Studio.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

namespace {

QAccessible::State accessibleState(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->state() : QAccessible::State();
}

QString accessibleName(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

}  // namespace

TEST(Sidebar, AStoredPageIsTheSelectedRowAndTheOnlyOneAnnouncedAsSelected)
{
    test::ShellHarness h;
    h.model->setTab(MainTab::automation);
    Sidebar sidebar(*h.model);
    ASSERT_EQ(sidebar.items().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sidebar.items()[i]->isSelected(), i == 2) << i;
        EXPECT_EQ(bool(accessibleState(sidebar.items()[i]).selected), i == 2) << i;
        EXPECT_TRUE(accessibleState(sidebar.items()[i]).selectable);
    }
    EXPECT_EQ(accessibleName(sidebar.items()[2]), "Automation");

    // A click sets the page (and the page is stored by the root model).
    QTest::mouseClick(sidebar.items()[4], Qt::LeftButton);
    EXPECT_EQ(h.model->tab(), MainTab::settings);
    EXPECT_TRUE(sidebar.items()[4]->isSelected());
    EXPECT_FALSE(sidebar.items()[2]->isSelected());
    EXPECT_FALSE(accessibleState(sidebar.items()[2]).selected);
    EXPECT_EQ(UserDefaults::standard().string(BoostModel::tabKey), QString("settings"));
}

TEST(Sidebar, RowTooltipsNameTheCtrlShortcutsInOrder)
{
    test::ShellHarness h;
    Sidebar sidebar(*h.model);
    QStringList tips;
    for (SidebarItem* item : sidebar.items()) tips << item->toolTip();
    EXPECT_EQ(tips, (QStringList{QString::fromUtf8("Boost · Ctrl+1"), QString::fromUtf8("Equalizer · Ctrl+2"),
                                 QString::fromUtf8("Automation · Ctrl+3"), QString::fromUtf8("Output · Ctrl+4"),
                                 QString::fromUtf8("Settings · Ctrl+5")}));
}

TEST(Sidebar, TheThreeSwitchStatesFollowActivityAndTheComparison)
{
    test::ShellHarness h;
    Sidebar sidebar(*h.model);
    // Off.
    EXPECT_EQ(sidebar.statusText(), "Off");
    EXPECT_EQ(sidebar.statusDotColour(), Studio::withOpacity(Studio::secondary(), 0.5));
    EXPECT_EQ(sidebar.powerSwitch()->text(), "Enable Boost");
    EXPECT_FALSE(sidebar.powerSwitch()->isOn());
    EXPECT_EQ(accessibleName(sidebar.powerSwitch()), "Enable system audio processing");
    EXPECT_EQ(sidebar.powerSwitch()->toolTip(), QString::fromUtf8("Turn system audio processing on or off · Ctrl+M"));

    // A click asks the system model; the display follows what it publishes.
    QTest::mouseClick(sidebar.powerSwitch(), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(h.system().isActive());
    EXPECT_EQ(sidebar.statusText(), "Processing system audio");
    EXPECT_EQ(sidebar.statusDotColour(), Studio::cyan());
    EXPECT_EQ(sidebar.powerSwitch()->text(), "Turn off");
    EXPECT_EQ(accessibleName(sidebar.powerSwitch()), "Turn off system audio processing");
    EXPECT_EQ(sidebar.statusLine()->toolTip(), h.system().status().text());

    // The comparison plays the original: only the status line changes.
    h.model->setProcessed(false);
    EXPECT_EQ(sidebar.statusText(), "Original sound");
    EXPECT_EQ(sidebar.powerSwitch()->text(), "Turn off");

    QTest::mouseClick(sidebar.powerSwitch(), Qt::LeftButton);
    h.settle();
    EXPECT_FALSE(h.system().isActive());
    EXPECT_EQ(sidebar.statusText(), "Off");
    EXPECT_EQ(h.storedActive(), false);
}

TEST(Sidebar, TheLinkShowsTheHostAndOpensTheWebsite)
{
    test::ShellHarness h;
    Sidebar sidebar(*h.model);
    test::UrlCatcher catcher("https");
    QTest::mouseClick(sidebar.websiteLink(), Qt::LeftButton);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].host(), sidebar.websiteLink()->text());
    EXPECT_EQ(accessibleName(sidebar.websiteLink()), "Open website");
}

TEST(Sidebar, PortugueseRendersEveryKeyLive)
{
    test::ShellHarness h;
    Sidebar sidebar(*h.model);
    h.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(sidebar.statusText(), "Desligado");
    EXPECT_EQ(sidebar.powerSwitch()->text(), "Ativar Boost");
    EXPECT_EQ(sidebar.items()[1]->text(), "Equalizador");
    EXPECT_EQ(sidebar.items()[1]->toolTip(), QString::fromUtf8("Equalizador · Ctrl+2"));
    EXPECT_EQ(accessibleName(sidebar.websiteLink()), "Abrir o site");
    EXPECT_EQ(sidebar.websiteLink()->text(), sidebar.websiteLink()->text().toLower());  // the host, unchanged
}
