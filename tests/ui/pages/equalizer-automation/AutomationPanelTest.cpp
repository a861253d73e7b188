// The Automation page on the real automation model with a fake front-application source.
#include "AutomationPanel.h"
#include "PagesTest.h"
#include "PresetPicker.h"
#include "StudioButton.h"
#include "StudioSwitch.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTest>

using namespace quorel;
using namespace quorel::test;

namespace {

QAction* menuItem(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

QStringList menuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

// Chooses the row with `id` as a user does (the picker's activated signal).
void choose(PresetPicker* picker, const QString& id)
{
    const int index = picker->findData(id);
    ASSERT_GE(index, 0) << qPrintable(id);
    picker->setCurrentIndex(index);
    emit picker->activated(index);
}

void chooseTime(QComboBox* picker, int minutes)
{
    const int index = picker->findData(minutes);
    ASSERT_GE(index, 0);
    picker->setCurrentIndex(index);
    emit picker->activated(index);
}

}  // namespace

class AutomationPage : public PagesTest {
protected:
    AutomationPanel* makePanel()
    {
        auto* panel = new AutomationPanel(*model);
        show(panel, 780);
        return panel;
    }
    void running(std::vector<DesktopApplication> apps)
    {
        front->running = std::move(apps);
        model->automation().refreshRunningApps();
    }
};

TEST(AutomationLogic, OfferedAppsTimesAndShortcuts)
{
    const std::vector<RunningApp> running{
        {"org.a", "Alpha", ""}, {"org.b", "Beta", ""}, {"org.a", "Alpha", ""}, {"org.c", "Gamma", ""}};
    const auto offered = AutomationPanel::offeredApps(running, {{"org.c", "Gamma", "builtin.music"}});
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].bundleID, "org.a");
    EXPECT_EQ(offered[1].bundleID, "org.b");
    EXPECT_EQ(AutomationPanel::newRulePreset(std::nullopt), "builtin.neutral");
    EXPECT_EQ(AutomationPanel::newRulePreset(QString("custom.X")), "custom.X");
    const auto times = AutomationPanel::timeChoices();
    ASSERT_EQ(times.size(), 48u);
    EXPECT_EQ(times.front(), 0);
    EXPECT_EQ(times.back(), 1410);
    EXPECT_EQ(AutomationPanel::timeText(1320), "22:00");
    EXPECT_EQ(AutomationPanel::timeText(30), "00:30");
    EXPECT_EQ(AutomationPanel::shortcutText(Action::toggle), "Ctrl+Alt+Super+B");
    EXPECT_EQ(AutomationPanel::shortcutText(Action::boostUp), "Ctrl+Alt+Super+↑");
    EXPECT_EQ(AutomationPanel::shortcutText(Action::previousPreset), "Ctrl+Alt+Super+←");
}

TEST_F(AutomationPage, EmptyPageAndDefaults)
{
    make();
    AutomationPanel* panel = makePanel();
    EXPECT_TRUE(panel->emptyText()->isVisible());
    EXPECT_TRUE(panel->ruleRows().empty());
    EXPECT_FALSE(panel->unavailableText()->isVisible());
    EXPECT_FALSE(panel->nightSwitch()->isChecked());
    EXPECT_EQ(panel->startPicker()->currentText(), "22:00");
    EXPECT_EQ(panel->endPicker()->currentText(), "07:00");
    EXPECT_EQ(panel->startPicker()->count(), 48);
    EXPECT_EQ(panel->nightPresetPicker()->currentID(), "builtin.movies-night");
    EXPECT_EQ(panel->nightPresetPicker()->currentText(), "Movies at night");
    EXPECT_FALSE(panel->nightPresetPicker()->titles().contains("My presets"));
    EXPECT_TRUE(panel->shortcutsSwitch()->isChecked());
    ASSERT_EQ(panel->shortcutRows().size(), 6);
    EXPECT_EQ(panel->shortcutRows()[0].first->text(), "Ctrl+Alt+Super+B");
    EXPECT_EQ(panel->shortcutRows()[3].second->text(), "Boost −1 dB");
    EXPECT_EQ(panel->urlIntro()->text(), "For scripts or a terminal (`xdg-open`):");
}

TEST_F(AutomationPage, AddAppListsEachIdOnceAndLeavesRuledAppsOut)
{
    make();
    AutomationPanel* panel = makePanel();
    running({{"org.gnome.Rhythmbox", "Rhythmbox", ""}, {"firefox", "Firefox", ""}, {"firefox", "Firefox", ""}});
    emit panel->addAppMenu()->aboutToShow();
    EXPECT_EQ(menuTexts(panel->addAppMenu()), (QStringList{"Firefox", "Rhythmbox", "—", "Refresh list"}));

    // No preset selected: the neutral one.
    model->change([](DSPSettings& s) {
        s.loudness = 0.37f;
        s.bands[3] = 1.5f;
    });
    menuItem(panel->addAppMenu(), "Rhythmbox")->trigger();
    ASSERT_EQ(model->automation().rules().size(), 1u);
    EXPECT_EQ(model->automation().rules()[0].presetID, "builtin.neutral");
    // A selected preset goes to the next rule.
    model->apply(*BuiltInPresets::preset("builtin.music"));
    emit panel->addAppMenu()->aboutToShow();
    EXPECT_EQ(menuTexts(panel->addAppMenu()), (QStringList{"Firefox", "—", "Refresh list"}));
    menuItem(panel->addAppMenu(), "Firefox")->trigger();
    ASSERT_EQ(panel->ruleRows().size(), 2u);
    EXPECT_EQ(panel->ruleRows()[0].name->text(), "Firefox");  // sorted by name
    EXPECT_EQ(panel->ruleRows()[0].picker->currentID(), "builtin.music");
    EXPECT_FALSE(panel->emptyText()->isVisible());
    emit panel->addAppMenu()->aboutToShow();
    EXPECT_EQ(menuTexts(panel->addAppMenu()), (QStringList{"—", "Refresh list"}));

    // Removing a rule offers its application again.
    QTest::mouseClick(panel->ruleRows()[1].remove, Qt::LeftButton);
    emit panel->addAppMenu()->aboutToShow();
    EXPECT_EQ(menuTexts(panel->addAppMenu()), (QStringList{"Rhythmbox", "—", "Refresh list"}));
}

TEST_F(AutomationPage, ChangeARulesPresetAndRemoveTheActiveOne)
{
    make();
    model->change([](DSPSettings& s) { s.bands[9] = 2; });
    const DSPSettings before = model->settings();
    model->automation().setRule("org.b", "Beta", "builtin.music");
    model->automation().setRule("org.a", "Alpha", "builtin.movies");
    AutomationPanel* panel = makePanel();
    ASSERT_EQ(panel->ruleRows().size(), 2u);
    EXPECT_EQ(panel->ruleRows()[0].bundleID, "org.a");
    EXPECT_EQ(panel->ruleRows()[0].remove->accessibleName(), "Remove rule for Alpha");

    choose(panel->ruleRows()[1].picker, "builtin.games");
    ASSERT_EQ(model->automation().rules().size(), 2u);
    EXPECT_EQ(model->automation().rules()[1].bundleID, "org.b");
    EXPECT_EQ(model->automation().rules()[1].presetID, "builtin.games");
    EXPECT_EQ(model->automation().rules()[1].name, "Beta");

    front->activate("org.b");
    ASSERT_EQ(model->automation().activeRuleBundleID(), "org.b");
    EXPECT_EQ(model->presets().selectedID(), "builtin.games");
    EXPECT_FALSE(panel->ruleRows()[0].badge);
    ASSERT_TRUE(panel->ruleRows()[1].badge);
    EXPECT_EQ(panel->ruleRows()[1].badge->text(), "ACTIVE");

    QTest::mouseClick(panel->ruleRows()[1].remove, Qt::LeftButton);
    EXPECT_FALSE(model->automation().activeRuleBundleID());
    EXPECT_EQ(model->settings().bands, before.bands);
    ASSERT_EQ(panel->ruleRows().size(), 1u);
    EXPECT_EQ(panel->ruleRows()[0].bundleID, "org.a");
}

TEST_F(AutomationPage, RedrawsNeverWriteARuleOrTheNight)
{
    make();
    model->automation().setRule("org.a", "Alpha", "custom.gone");
    NightSchedule night = model->automation().night();
    night.startMinutes = 1325;  // off the 30-minute grid
    night.presetID = "custom.missing";
    model->automation().setNight(night);
    int nightWrites = 0, ruleWrites = 0;
    QObject::connect(&model->automation(), &AutomationModel::nightChanged, [&] { ++nightWrites; });
    QObject::connect(&model->automation(), &AutomationModel::rulesChanged, [&] { ++ruleWrites; });
    AutomationPanel* panel = makePanel();
    setLanguage(AppLanguage::portuguese);
    model->apply(*BuiltInPresets::preset("builtin.music"));
    model->automation().refreshRunningApps();
    setLanguage(AppLanguage::english);
    EXPECT_EQ(nightWrites, 0);
    EXPECT_EQ(ruleWrites, 0);
    EXPECT_EQ(panel->startPicker()->currentText(), "22:05");
    EXPECT_EQ(panel->nightPresetPicker()->currentIndex(), -1);
    EXPECT_EQ(panel->ruleRows()[0].picker->currentIndex(), -1);
    EXPECT_EQ(model->automation().night().startMinutes, 1325);
    EXPECT_EQ(model->automation().rules()[0].presetID, "custom.gone");
}

TEST_F(AutomationPage, NightTimesPresetAndTheBadgeAtOnce)
{
    make();
    AutomationPanel* panel = makePanel();   // the clock says 12:00
    chooseTime(panel->startPicker(), 690);  // 11:30
    chooseTime(panel->endPicker(), 780);    // 13:00
    choose(panel->nightPresetPicker(), "builtin.voice");
    EXPECT_EQ(model->automation().night().startMinutes, 690);
    EXPECT_EQ(model->automation().night().endMinutes, 780);
    EXPECT_EQ(model->automation().night().presetID, "builtin.voice");
    EXPECT_FALSE(panel->nightBadge()->isVisible());

    QTest::mouseClick(panel->nightSwitch(), Qt::LeftButton);
    EXPECT_TRUE(model->automation().night().enabled);
    EXPECT_TRUE(model->automation().nightActive());
    EXPECT_TRUE(panel->nightBadge()->isVisible());
    EXPECT_EQ(model->presets().selectedID(), "builtin.voice");

    chooseTime(panel->endPicker(), 720);  // the window closes before now
    EXPECT_FALSE(model->automation().nightActive());
    EXPECT_FALSE(panel->nightBadge()->isVisible());
}

TEST_F(AutomationPage, StoredTimesOffTheHalfHourShowInBothLanguagesAndSurviveTheOtherChoice)
{
    make();
    NightSchedule night = model->automation().night();
    night.startMinutes = 1439;  // 23:59
    night.endMinutes = 1;       // 00:01
    model->automation().setNight(night);
    AutomationPanel* panel = makePanel();
    for (AppLanguage language : {AppLanguage::english, AppLanguage::portuguese}) {
        setLanguage(language);
        EXPECT_EQ(panel->startPicker()->currentText(), "23:59");
        EXPECT_EQ(panel->endPicker()->currentText(), "00:01");
    }
    // The rows stay in time order: 00:01 right after 00:00, 23:59 last.
    EXPECT_EQ(panel->endPicker()->itemText(1), "00:01");
    EXPECT_EQ(panel->startPicker()->itemText(panel->startPicker()->count() - 1), "23:59");

    chooseTime(panel->endPicker(), 420);  // only the end changes
    EXPECT_EQ(model->automation().night().startMinutes, 1439);
    EXPECT_EQ(model->automation().night().endMinutes, 420);
    EXPECT_EQ(panel->startPicker()->currentText(), "23:59");
    EXPECT_EQ(panel->endPicker()->currentText(), "07:00");
    EXPECT_EQ(panel->endPicker()->count(), 48);  // the row of a time no longer stored is gone
}

TEST_F(AutomationPage, SwitchesWriteTheirFlags)
{
    make();
    AutomationPanel* panel = makePanel();
    QTest::mouseClick(panel->shortcutsSwitch(), Qt::LeftButton);
    EXPECT_FALSE(model->automation().hotkeysEnabled());
    EXPECT_FALSE(panel->shortcutsSwitch()->isChecked());
    QTest::mouseClick(panel->rulesSwitch(), Qt::LeftButton);
    EXPECT_FALSE(model->automation().rulesEnabled());
    model->automation().setRulesEnabled(true);
    EXPECT_TRUE(panel->rulesSwitch()->isChecked());
}

TEST_F(AutomationPage, WithoutTheFrontApplicationRulesAreUnavailable)
{
    frontAvailable = false;
    make();
    model->automation().setRule("org.a", "Alpha", "builtin.music");
    AutomationPanel* panel = makePanel();
    EXPECT_TRUE(panel->unavailableText()->isVisible());
    EXPECT_FALSE(panel->addAppButton()->isEnabled());
    EXPECT_EQ(panel->ruleRows().size(), 1u);
}

// Wayland with no portal answering: the shortcuts card says so, in both languages, and follows
// the service when it comes and goes.
TEST_F(AutomationPage, ShortcutsCardFollowsTheirAvailability)
{
    make();
    AutomationPanel* panel = makePanel();
    EXPECT_TRUE(panel->shortcutsNote()->isVisible());
    EXPECT_FALSE(panel->shortcutsUnavailableText()->isVisible());
    shortcuts->setAvailable(false);
    EXPECT_FALSE(panel->shortcutsNote()->isVisible());
    EXPECT_TRUE(panel->shortcutsUnavailableText()->isVisible());
    EXPECT_EQ(panel->shortcutsUnavailableText()->text(),
              "Global shortcuts are unavailable in this session: no shortcut service answers on this desktop.");
    setLanguage(AppLanguage::portuguese);
    EXPECT_EQ(
        panel->shortcutsUnavailableText()->text(),
        "Os atalhos globais não estão disponíveis nesta sessão: nenhum serviço de atalhos responde neste ambiente.");
    shortcuts->setAvailable(true);
    EXPECT_TRUE(panel->shortcutsNote()->isVisible());
    EXPECT_FALSE(panel->shortcutsUnavailableText()->isVisible());
    EXPECT_EQ(panel->shortcutsNote()->text(), "Funcionam em qualquer app.");
}

TEST_F(AutomationPage, PortugueseTexts)
{
    make();
    setLanguage(AppLanguage::portuguese);
    model->automation().setRule("org.a", "Alpha", "builtin.music");
    AutomationPanel* panel = makePanel();
    EXPECT_EQ(panel->addAppButton()->text(), "Adicionar app");
    EXPECT_EQ(panel->shortcutsNote()->text(), "Funcionam em qualquer app.");
    EXPECT_EQ(panel->ruleRows()[0].picker->currentText(), "Música");
    EXPECT_EQ(panel->shortcutRows()[0].first->text(), "Ctrl+Alt+Super+B");
    EXPECT_EQ(panel->ruleRows()[0].name->text(), "Alpha");
}
