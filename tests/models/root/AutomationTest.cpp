#include "RootModelFixture.h"

#include "Action.h"
#include "MainTab.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace quorel;
using namespace quorel::test;

namespace {

const QString automationKey = QString::fromLatin1(AutomationModel::key);

class Automation : public RootModelTest {
protected:
    void at(int hour, int minute) { clock->setDateTime(QDateTime(QDate(2026, 3, 2), QTime(hour, minute))); }
    AutomationModel& automation() { return model->automation(); }

    // Settings a user made by hand: Boost and bands no preset has.
    void handMade(float boost)
    {
        model->change([boost](DSPSettings& s) {
            unmatched(s);
            s.boostDB = boost;
        });
    }
};

TEST_F(Automation, NothingStoredGivesTheDefaults)
{
    make();
    EXPECT_TRUE(automation().rulesEnabled());
    EXPECT_TRUE(automation().rules().empty());
    EXPECT_EQ(automation().night(), NightSchedule());
    EXPECT_FALSE(automation().night().enabled);
    EXPECT_EQ(automation().night().startMinutes, 1320);
    EXPECT_EQ(automation().night().endMinutes, 420);
    EXPECT_EQ(automation().night().presetID, QStringLiteral("builtin.movies-night"));
    EXPECT_TRUE(automation().hotkeysEnabled());
    EXPECT_FALSE(store.contains(automationKey));
}

TEST_F(Automation, TheStoreRoundTrips)
{
    make();
    automation().setRule("org.gnome.Rhythmbox", "Rhythmbox", "builtin.music");
    automation().setNight({true, 60, 120, "builtin.voice"});
    automation().setHotkeysEnabled(false);
    automation().setRulesEnabled(false);
    make();
    ASSERT_EQ(automation().rules().size(), 1u);
    EXPECT_EQ(automation().rules()[0], (AppRule{"org.gnome.Rhythmbox", "Rhythmbox", "builtin.music"}));
    EXPECT_EQ(automation().night(), (NightSchedule{true, 60, 120, "builtin.voice"}));
    EXPECT_FALSE(automation().hotkeysEnabled());
    EXPECT_FALSE(automation().rulesEnabled());
}

TEST_F(Automation, ARecordMissingOneKeyGivesAllFourDefaultsAndIsSetAside)
{
    const QString record =
        QStringLiteral(R"({"rulesEnabled":false,"rules":[{"bundleID":"vlc","name":"VLC","presetID":"builtin.movies"}],)"
                       R"("night":{"enabled":true,"startMinutes":60,"endMinutes":120,"presetID":"builtin.voice"}})");
    store.setString(automationKey, record);
    make();
    EXPECT_TRUE(automation().rulesEnabled());
    EXPECT_TRUE(automation().rules().empty());
    EXPECT_EQ(automation().night(), NightSchedule());
    EXPECT_TRUE(automation().hotkeysEnabled());
    // The next write does not cost the user the rules: the record is kept aside.
    automation().setRule("mpv", "mpv", "builtin.movies");
    EXPECT_EQ(store.string(automationKey + ".unreadable"), record);
    EXPECT_NE(store.string(automationKey), record);
}

TEST_F(Automation, DecodingRequiresEveryKeyAndType)
{
    const QByteArray good =
        R"({"rulesEnabled":true,"rules":[{"bundleID":"a","name":"A","presetID":"p"}],"night":{"enabled":false,)"
        R"("startMinutes":1320,"endMinutes":420,"presetID":"builtin.movies-night"},"hotkeysEnabled":true})";
    EXPECT_TRUE(AutomationModel::decode(good));
    QByteArray noName = good;
    noName.replace(R"("name":"A",)", "");
    EXPECT_FALSE(AutomationModel::decode(noName));
    QByteArray fraction = good;
    fraction.replace("1320", "1320.5");
    EXPECT_FALSE(AutomationModel::decode(fraction));
    QByteArray text = good;
    text.replace(R"("enabled":false)", R"("enabled":"no")");
    EXPECT_FALSE(AutomationModel::decode(text));
    EXPECT_FALSE(AutomationModel::decode("[]"));
    EXPECT_FALSE(AutomationModel::decode("not json"));
    const AutomationModel::Stored stored = *AutomationModel::decode(good);
    EXPECT_EQ(AutomationModel::decode(AutomationModel::encode(stored))->rules, stored.rules);
}

TEST(NightWindow, AcrossMidnightAndWithEqualEnds)
{
    const NightSchedule night{true, 1320, 420, "x"};
    EXPECT_TRUE(night.isOpen(22 * 60));
    EXPECT_TRUE(night.isOpen(6 * 60 + 59));
    EXPECT_FALSE(night.isOpen(7 * 60));
    EXPECT_FALSE(night.isOpen(21 * 60 + 59));
    const NightSchedule early{true, 60, 120, "x"};
    EXPECT_TRUE(early.isOpen(60));
    EXPECT_TRUE(early.isOpen(119));
    EXPECT_FALSE(early.isOpen(120));
    const NightSchedule equal{true, 300, 300, "x"};
    for (int minute = 0; minute < 1440; ++minute) EXPECT_FALSE(equal.isOpen(minute));
}

TEST_F(Automation, TheNightOpensAndClosesOnTheClockAndGivesBackTheSettings)
{
    at(21, 59);
    make();
    handMade(4);
    const DSPSettings before = model->settings();
    automation().setNight({true, 1320, 420, "builtin.movies-night"});
    EXPECT_FALSE(automation().nightActive());
    clock->advance(60);  // 22:00 reached by the 30 s timer
    EXPECT_TRUE(automation().nightActive());
    EXPECT_TRUE(builtIn("builtin.movies-night").matches(model->settings()));
    model->adjustBoost(2);  // the user raises Boost during the night
    at(6, 59);
    clock->advance(30);
    EXPECT_TRUE(automation().nightActive());
    at(7, 0);
    clock->advance(30);
    EXPECT_FALSE(automation().nightActive());
    EXPECT_EQ(model->settings().bands, before.bands);
    EXPECT_FLOAT_EQ(model->settings().loudness, before.loudness);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 6);
}

TEST_F(Automation, EqualEndsNeverOpenAndAMissingNightPresetKeepsTheNightFromBeginning)
{
    at(5, 0);
    make();
    automation().setNight({true, 300, 300, "builtin.movies-night"});
    EXPECT_FALSE(automation().nightActive());
    automation().setNight({true, 240, 360, "custom.gone"});
    EXPECT_FALSE(automation().nightActive());
    automation().setNight({true, 240, 360, "builtin.voice"});
    EXPECT_TRUE(automation().nightActive());
    // Switching the schedule off while it is active gives the settings back at once.
    automation().setNight({false, 240, 360, "builtin.voice"});
    EXPECT_FALSE(automation().nightActive());
    EXPECT_EQ(model->settings(), DSPSettings());
}

TEST_F(Automation, ARuleIsAppliedAndUndoneAsTheFrontApplicationChanges)
{
    make();
    handMade(3);
    const DSPSettings before = model->settings();
    automation().setRule("vlc", "VLC", "builtin.movies");
    front->activate("vlc");
    EXPECT_EQ(automation().activeRuleBundleID(), QStringLiteral("vlc"));
    EXPECT_TRUE(builtIn("builtin.movies").matches(model->settings()));
    front->activate("org.gnome.TextEditor");
    EXPECT_EQ(automation().activeRuleBundleID(), std::nullopt);
    EXPECT_EQ(model->settings(), before);
}

TEST_F(Automation, AToBToCGivesBackWhatWasBeforeAKeepingBoost)
{
    make();
    handMade(2);
    const DSPSettings beforeA = model->settings();
    automation().setRule("a", "A", "builtin.rock");
    automation().setRule("b", "B", "builtin.voice");
    front->activate("a");
    model->adjustBoost(1);
    front->activate("b");
    EXPECT_TRUE(builtIn("builtin.voice").matches(model->settings()));
    model->change([](DSPSettings& s) { s.levelerStrength = 0.4f; });
    front->activate("c");
    EXPECT_EQ(automation().activeRuleBundleID(), std::nullopt);
    EXPECT_EQ(model->settings().bands, beforeA.bands);
    EXPECT_FLOAT_EQ(model->settings().loudness, beforeA.loudness);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 3);
    EXPECT_FLOAT_EQ(model->settings().levelerStrength, 0.4f);
}

TEST_F(Automation, AnOwnWindowOrNoFrontApplicationChangesNothing)
{
    make();
    automation().setRule("a", "A", "builtin.rock");
    front->activate("a");
    front->activate(FrontApplicationSource::ownApplicationID);
    EXPECT_EQ(automation().activeRuleBundleID(), QStringLiteral("a"));
    front->activate("");
    EXPECT_EQ(automation().activeRuleBundleID(), QStringLiteral("a"));
}

TEST_F(Automation, ARuleAddedWhileWeAreInFrontWaitsForTheNextActivation)
{
    make();
    front->activate(FrontApplicationSource::ownApplicationID);
    automation().setRule("a", "A", "builtin.rock");
    EXPECT_EQ(automation().activeRuleBundleID(), std::nullopt);
    front->activate("a");
    EXPECT_EQ(automation().activeRuleBundleID(), QStringLiteral("a"));
}

TEST_F(Automation, ARuleWhosePresetWasDeletedActsAsNoRule)
{
    make();
    DSPSettings mine;
    unmatched(mine);
    const std::optional<SoundPreset> custom = model->presets().save("Mine", mine);
    automation().setRule("a", "A", custom->id);
    automation().setRule("b", "B", "builtin.rock");
    handMade(1);
    const DSPSettings before = model->settings();
    front->activate("b");
    model->presets().deletePreset(*custom);
    front->activate("a");
    EXPECT_EQ(automation().activeRuleBundleID(), std::nullopt);
    EXPECT_EQ(model->settings(), before);
}

TEST_F(Automation, ReactivatingTheRuledApplicationChangesNothingWhileItsPresetStillHolds)
{
    make();
    automation().setRule("a", "A", "builtin.rock");
    front->activate("a");
    int changes = 0;
    QObject::connect(model.get(), &BoostModel::settingsChanged, [&changes] { ++changes; });
    front->activate("a");
    EXPECT_EQ(changes, 0);
    // Changed by hand, the preset is applied again at the next activation.
    model->change([](DSPSettings& s) { s.loudness = 0.9f; });
    front->activate("a");
    EXPECT_TRUE(builtIn("builtin.rock").matches(model->settings()));
}

TEST_F(Automation, RemovingTheActiveRuleOrSwitchingRulesOffRestores)
{
    make();
    handMade(1);
    const DSPSettings before = model->settings();
    automation().setRule("a", "A", "builtin.rock");
    automation().setRule("b", "B", "builtin.voice");
    front->activate("a");
    automation().removeRule("b");
    EXPECT_EQ(automation().activeRuleBundleID(), QStringLiteral("a"));
    automation().removeRule("a");
    EXPECT_EQ(automation().activeRuleBundleID(), std::nullopt);
    EXPECT_EQ(model->settings(), before);

    automation().setRule("a", "A", "builtin.rock");
    front->activate("a");
    automation().setRulesEnabled(false);
    EXPECT_EQ(model->settings(), before);
}

TEST_F(Automation, RulesAreSortedByNameAndReplacedByApplication)
{
    make();
    automation().setRule("z", "zeta", "builtin.rock");
    automation().setRule("a", "Alpha", "builtin.rock");
    automation().setRule("m", "beta", "builtin.rock");
    automation().setRule("z", "Gamma", "builtin.voice");
    std::vector<QString> names;
    for (const AppRule& rule : automation().rules()) names.push_back(rule.name);
    EXPECT_EQ(names, (std::vector<QString>{"Alpha", "beta", "Gamma"}));
    EXPECT_EQ(automation().rules()[2].presetID, QStringLiteral("builtin.voice"));
}

TEST_F(Automation, RunningApplicationsAreSortedWithoutOurOwn)
{
    make();
    front->running = {{"vlc", "VLC", "vlc"},
                      {FrontApplicationSource::ownApplicationID, "Quorel", ""},
                      {"a", "", ""},
                      {"fx", "firefox", "ff"}};
    automation().refreshRunningApps();
    std::vector<QString> ids;
    for (const RunningApp& app : automation().runningApps()) ids.push_back(app.bundleID);
    EXPECT_EQ(ids, (std::vector<QString>{"a", "fx", "vlc"}));
    EXPECT_EQ(automation().runningApps()[0].name, QStringLiteral("a"));
    front->available = false;
    automation().refreshRunningApps();
    EXPECT_TRUE(automation().runningApps().empty());
    EXPECT_FALSE(automation().rulesAvailable());
}

TEST_F(Automation, ShortcutPressesReachTheActions)
{
    make();
    ASSERT_EQ(shortcuts->registrations, 1);
    ASSERT_EQ(shortcuts->registered.size(), 6u);
    EXPECT_EQ(shortcuts->registered[0].key, QStringLiteral("b"));
    EXPECT_EQ(shortcuts->registered[5].key, QStringLiteral("Left"));

    shortcuts->press(1);
    EXPECT_EQ(storedActive(), true);
    shortcuts->press(2);  // compare: at once, no debounce
    EXPECT_EQ(configureCount, 1);
    EXPECT_FALSE(lastProcessed);
    shortcuts->press(3);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 1);
    shortcuts->press(4);
    shortcuts->press(4);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 0);
    model->apply(builtIn("builtin.neutral"));
    shortcuts->press(5);
    EXPECT_EQ(model->presets().selectedID(), model->presets().combined()[1].id);
    shortcuts->press(6);
    EXPECT_EQ(model->presets().selectedID(), QStringLiteral("builtin.neutral"));
    const DSPSettings before = model->settings();
    shortcuts->pressRaw(0);
    shortcuts->pressRaw(7);
    EXPECT_EQ(model->settings(), before);
}

TEST_F(Automation, ShortcutsOffAndOnUnregisterAndRegisterOnce)
{
    make();
    automation().hotKeys().registerKeys();
    EXPECT_EQ(shortcuts->registrations, 1);
    automation().setHotkeysEnabled(false);
    EXPECT_EQ(shortcuts->unregistrations, 1);
    shortcuts->press(3);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 0);
    automation().setHotkeysEnabled(true);
    EXPECT_EQ(shortcuts->registrations, 2);
    shortcuts->press(3);
    EXPECT_FLOAT_EQ(model->settings().boostDB, 1);
}

TEST_F(Automation, StoredShortcutsOffRegisterNothing)
{
    make();
    automation().setHotkeysEnabled(false);
    make();
    EXPECT_EQ(shortcuts->registrations, 0);
}

TEST(ActionTest, RawValuesAndLabels)
{
    EXPECT_EQ(action::fromRawValue(0), std::nullopt);
    EXPECT_EQ(action::fromRawValue(7), std::nullopt);
    EXPECT_EQ(action::fromRawValue(6), Action::previousPreset);
    EXPECT_EQ(action::labelKey(Action::boostDown), QString::fromUtf8("Boost \xE2\x88\x92"
                                                                     "1 dB"));
    EXPECT_EQ(action::label(Action::toggle, AppLanguage::portuguese),
              QStringLiteral("Ligar ou desligar o processamento"));
    EXPECT_EQ(action::trigger(Action::toggle), QStringLiteral("Ctrl+Alt+Super+B"));
}

}  // namespace

namespace {

TEST(SavedLanguage, LabelsAndPageTitlesFollowItAtEveryRead)
{
    TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    EXPECT_EQ(action::label(Action::nextPreset), QStringLiteral("Next preset"));
    EXPECT_EQ(mainTab::title(MainTab::equalizer), QStringLiteral("Equalizer"));
    store.setString(appLanguage::preferenceKey, QStringLiteral("pt-BR"));
    EXPECT_EQ(action::label(Action::nextPreset), QStringLiteral("Próximo preset"));
    EXPECT_EQ(mainTab::title(MainTab::equalizer), QStringLiteral("Equalizador"));
    EXPECT_EQ(mainTab::subtitle(MainTab::settings),
              QStringLiteral("Abrir ao iniciar a sessão, verificação de atualizações e atalhos globais."));
}

}  // namespace
