#include "ShellHarness.h"

#include "BuiltInPresets.h"
#include "ComparisonSwitch.h"
#include "MenuBarPanel.h"
#include "PowerButton.h"
#include "PresetLibrary.h"
#include "PresetMenuButton.h"
#include "SelectableButton.h"
#include "Studio.h"
#include "StudioButton.h"
#include "StudioSlider.h"

#include <QAccessible>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorel;

TEST(MenuBarPanel, StatusFollowsActivityAndTheComparisonOnly)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    EXPECT_EQ(panel.statusText(), "Off");
    EXPECT_EQ(panel.statusDotColour(), Studio::withOpacity(Studio::secondary(), 0.5));
    EXPECT_FALSE(panel.powerButton()->isOn());
    EXPECT_EQ(panel.powerButton()->toolTip(), "Enable Boost");
    EXPECT_EQ(panel.powerButton()->accessibleName(), "Enable processing");
    h.model->setProcessed(false);
    EXPECT_EQ(panel.statusText(), "Off");  // off wins whatever the comparison

    QTest::mouseClick(panel.powerButton(), Qt::LeftButton);
    h.settle();
    ASSERT_TRUE(h.system().isActive());
    EXPECT_EQ(panel.statusText(), "Original sound");
    EXPECT_EQ(panel.statusDotColour(), Studio::cyan());
    h.model->setProcessed(true);
    EXPECT_EQ(panel.statusText(), "Processing");
    EXPECT_EQ(panel.powerButton()->toolTip(), "Turn off");
    EXPECT_EQ(panel.powerButton()->accessibleName(), "Turn off processing");
    // An error is not the panel's to show.
    h.system().setError(QString("Something broke."));
    EXPECT_EQ(panel.statusText(), "Processing");
}

TEST(MenuBarPanel, ValueTextsFollowTheLanguageAndRoundHalvesAway)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    h.model->change([](DSPSettings& s) {
        s.boostDB = 0;
        s.loudness = 0.125f;
        s.driveAmount = 0;
        s.levelerStrength = 1;
    });
    EXPECT_EQ(panel.valueTexts(), (QStringList{"+0.0 dB", "13%", "0%", "100%"}));
    h.setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(panel.valueTexts(), (QStringList{"+0,0 dB", "13%", "0%", "100%"}));
    h.model->change([](DSPSettings& s) { s.boostDB = 6; });
    EXPECT_EQ(panel.valueTexts()[0], "+6,0 dB");
    EXPECT_EQ(MenuBarPanel::percentText(0.5f), "50%");
    EXPECT_EQ(MenuBarPanel::percentText(0.025f), "3%");  // 2.5 rounds away from zero
}

TEST(MenuBarPanel, ASliderChangesOnlyItsOwnField)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    h.model->change([](DSPSettings& s) {
        s.boostDB = 3;
        s.loudness = 0.2f;
        s.driveAmount = 0.4f;
        s.levelerStrength = 0.6f;
    });
    const DSPSettings before = h.model->settings();
    panel.slider(2)->setFocus();
    ASSERT_TRUE(panel.slider(2)->increase());  // Drive, one step of 0.05
    DSPSettings expected = before;
    expected.driveAmount = 0.45f;
    EXPECT_NEAR(h.model->settings().driveAmount, 0.45f, 1e-5);
    expected.driveAmount = h.model->settings().driveAmount;
    EXPECT_EQ(h.model->settings(), expected);
    EXPECT_EQ(panel.valueTexts(), (QStringList{"+3.0 dB", "20%", "45%", "60%"}));
}

TEST(MenuBarPanel, ThePresetMenuHasNoEmptySectionAndTheLabelFollowsTheSelection)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    ASSERT_TRUE(h.model->presets().custom().empty());
    // The fresh store selects nothing until a preset is applied.
    h.model->change([](DSPSettings& s) { s.boostDB = 7.5f; });
    if (!h.model->presets().selected()) {
        EXPECT_EQ(panel.presetButton()->text(), "Custom");
        EXPECT_EQ(panel.presetButton()->symbol(), "slider.horizontal.3");
    }
    QMenu* menu = panel.presetMenu();
    QStringList sections;
    int items = 0;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            sections << action->text();
        else
            ++items;
    }
    EXPECT_EQ(sections, (QStringList{"Use", "Music", "Device", "Tone"}));  // no "My presets"
    EXPECT_EQ(items, int(BuiltInPresets::all().size()));

    // Choosing an item applies that preset; the label follows.
    const SoundPreset movies = *BuiltInPresets::preset("builtin.movies");
    for (QAction* action : menu->actions())
        if (action->data().toString() == movies.id) action->trigger();
    EXPECT_EQ(h.model->presets().selectedID(), movies.id);
    EXPECT_EQ(panel.presetButton()->text(), movies.localizedName());
    EXPECT_EQ(panel.presetButton()->symbol(), movies.symbol);
}

TEST(MenuBarPanel, QuitShutsDownFirstAndKeepsTheStoredChoice)
{
    test::ShellHarness h;
    MenuBarPanel panel(*h.model);
    h.start();
    ASSERT_TRUE(h.system().isActive());
    ASSERT_EQ(h.storedActive(), true);
    QStringList order;
    QObject::connect(&h.system(), &SystemModel::activeChanged, [&] {
        if (!h.system().isActive()) order << "shutdown";
    });
    QObject::connect(&panel, &MenuBarPanel::quitRequested, [&] { order << "quit"; });
    QTest::mouseClick(panel.quitButton(), Qt::LeftButton);
    EXPECT_EQ(order, (QStringList{"shutdown", "quit"}));
    EXPECT_FALSE(h.system().isActive());
    EXPECT_EQ(h.storedActive(), true);  // processing resumes at the next login
    EXPECT_EQ(panel.quitButton()->text(), "Quit");
    EXPECT_EQ(panel.openButton()->text(), "Open Quorel");
}

TEST(ComparisonSwitch, ATapSetsTheFlagAndConfiguresAtOnce)
{
    test::ShellHarness h;
    ComparisonSwitch control(*h.model);
    EXPECT_TRUE(control.processedSegment()->isSelected());
    EXPECT_FALSE(control.originalSegment()->isSelected());
    QSignalSpy saved(h.model.get(), &BoostModel::settingsChanged);
    QTest::mouseClick(control.originalSegment(), Qt::LeftButton);
    EXPECT_FALSE(h.model->processed());
    EXPECT_FALSE(h.system().processed());  // handed over at once, no debounce
    EXPECT_EQ(saved.count(), 0);
    EXPECT_TRUE(control.originalSegment()->isSelected());
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control.originalSegment());
    ASSERT_TRUE(face);
    EXPECT_TRUE(face->state().selected);
    EXPECT_EQ(face->text(QAccessible::Name), "Original");
    // A change from elsewhere moves the highlight.
    h.model->setProcessed(true);
    EXPECT_TRUE(control.processedSegment()->isSelected());
    EXPECT_EQ(control.toolTip(), "Compare the original audio with your settings. Shortcut: Ctrl+B.");
}
