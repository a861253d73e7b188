#include "RootModelFixture.h"

#include "HeadphoneLibrary.h"
#include "MainTab.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

using namespace quorel;
using namespace quorel::test;

namespace {

const QString dspKey = QString::fromLatin1(BoostModel::preferencesKey);
const QString legacyKey = QString::fromLatin1(BoostModel::legacyKey);
const QString tabKey = QString::fromLatin1(BoostModel::tabKey);

QString json(const DSPSettings& settings)
{
    return QString::fromUtf8(QJsonDocument(settings.toJson()).toJson(QJsonDocument::Compact));
}

using SettingsRoad = RootModelTest;

TEST_F(SettingsRoad, NothingStoredGivesTheDefaultsAndTheBoostPageAndWritesNothing)
{
    BoostModel& m = make();
    EXPECT_EQ(m.settings(), DSPSettings());
    EXPECT_EQ(m.tab(), MainTab::boost);
    EXPECT_TRUE(m.processed());
    EXPECT_FALSE(store.contains(dspKey));
    EXPECT_FALSE(store.contains(tabKey));
}

TEST_F(SettingsRoad, TheOlderKeyIsReadSanitizedAndKeptWhenTheFirstChangeWrites)
{
    DSPSettings old;
    old.boostDB = 40;  // out of range: sanitized to 12
    old.loudness = 0.5f;
    store.setString(legacyKey, json(old));
    BoostModel& m = make();
    EXPECT_FLOAT_EQ(m.settings().boostDB, 12);
    EXPECT_FLOAT_EQ(m.settings().loudness, 0.5f);
    m.adjustBoost(-1);
    EXPECT_EQ(DSPSettings::fromJsonText(store.string(dspKey)->toUtf8()).boostDB, 11);
    EXPECT_EQ(store.string(legacyKey), json(old));
}

TEST_F(SettingsRoad, UnreadableCurrentSettingsGiveTheDefaultsAndAreSetAsideBeforeTheNextWrite)
{
    DSPSettings old;
    old.loudness = 0.5f;
    store.setString(legacyKey, json(old));
    store.setString(dspKey, QStringLiteral("{\"boostDB\": \"loud\""));
    BoostModel& m = make();
    EXPECT_EQ(m.settings(), DSPSettings());  // the older key is not consulted
    m.adjustBoost(2);
    EXPECT_EQ(store.string(dspKey + ".unreadable"), QStringLiteral("{\"boostDB\": \"loud\""));
    EXPECT_FLOAT_EQ(DSPSettings::fromJsonText(store.string(dspKey)->toUtf8()).boostDB, 2);
}

TEST_F(SettingsRoad, AStoredPageIsMatchedExactly)
{
    store.setString(tabKey, "Equalizer");
    EXPECT_EQ(make().tab(), MainTab::boost);
    store.setString(tabKey, "mixer");
    EXPECT_EQ(make().tab(), MainTab::boost);
    store.setString(tabKey, "output");
    EXPECT_EQ(make().tab(), MainTab::output);
    model->setTab(MainTab::output);
    model->setTab(MainTab::settings);
    EXPECT_EQ(store.string(tabKey), QStringLiteral("settings"));
}

TEST_F(SettingsRoad, TwoChangesTenMillisecondsApartGiveOneEngineUpdateThirtyAfterTheSecond)
{
    BoostModel& m = make();
    m.change([](DSPSettings& s) { s.boostDB = 3; });
    clock->advance(0.010);
    m.change([](DSPSettings& s) { s.boostDB = 5; });
    // Stored at once, every time.
    EXPECT_FLOAT_EQ(DSPSettings::fromJsonText(store.string(dspKey)->toUtf8()).boostDB, 5);
    clock->advance(0.029);
    EXPECT_EQ(configureCount, 0);
    EXPECT_TRUE(m.updatePending());
    clock->advance(0.002);
    EXPECT_EQ(configureCount, 1);
    EXPECT_FLOAT_EQ(lastConfigured.boostDB, 5);
    EXPECT_FALSE(m.updatePending());
    clock->advance(1);
    EXPECT_EQ(configureCount, 1);
}

TEST_F(SettingsRoad, AChangeThatChangesNothingStillStoresAndRestartsTheWait)
{
    BoostModel& m = make();
    m.change([](DSPSettings& s) { s.boostDB = 4; });
    clock->advance(0.02);
    store.remove(dspKey);
    int published = 0;
    QObject::connect(&m, &BoostModel::settingsChanged, [&published] { ++published; });
    m.change([](DSPSettings&) {});
    EXPECT_GE(published, 1);
    EXPECT_TRUE(store.contains(dspKey));
    clock->advance(0.02);
    EXPECT_EQ(configureCount, 0);
    clock->advance(0.011);
    EXPECT_EQ(configureCount, 1);
}

TEST_F(SettingsRoad, TheUpdateCarriesTheFlagOfTheMomentItFires)
{
    BoostModel& m = make();
    m.adjustBoost(1);
    m.setProcessed(false);
    clock->advance(0.031);
    EXPECT_EQ(configureCount, 1);
    EXPECT_FALSE(lastProcessed);
}

TEST_F(SettingsRoad, RestoreKeepsBoostTrimLevelerAndHeadphonesAndBringsBackTheRest)
{
    BoostModel& m = make();
    DSPSettings saved;
    saved.boostDB = 3;
    saved.bands[5] = 4;
    saved.comparisonTrimDB = -5;
    saved.levelerStrength = 0.1f;
    saved.loudness = 0.2f;
    m.change([](DSPSettings& s) {
        s.boostDB = 6;
        s.comparisonTrimDB = -2;
        s.levelerStrength = 0.5f;
        s.bands[5] = -3;
    });
    m.restore(saved);
    EXPECT_FLOAT_EQ(m.settings().boostDB, 6);
    EXPECT_FLOAT_EQ(m.settings().comparisonTrimDB, -2);
    EXPECT_FLOAT_EQ(m.settings().levelerStrength, 0.5f);
    EXPECT_FLOAT_EQ(m.settings().bands[5], 4);
    EXPECT_FLOAT_EQ(m.settings().loudness, 0.2f);
}

TEST_F(SettingsRoad, ResetClearsEverythingAndSelectsNeutral)
{
    BoostModel& m = make();
    m.change([](DSPSettings& s) {
        s.boostDB = 9;
        unmatched(s);
    });
    m.reset();
    EXPECT_EQ(m.settings(), DSPSettings());
    EXPECT_EQ(m.presets().selectedID(), QStringLiteral("builtin.neutral"));
    EXPECT_EQ(store.string(PresetLibrary::selectionKey), QStringLiteral("builtin.neutral"));
}

TEST_F(SettingsRoad, ApplyingAPresetKeepsBoostAndHeadphonesAndSelectsIt)
{
    BoostModel& m = make();
    const HeadphoneProfile profile = testProfile();
    m.change([&profile](DSPSettings& s) {
        s.boostDB = 7;
        s.headphoneProfile = profile;
    });
    const SoundPreset rock = builtIn("builtin.rock");
    m.apply(rock);
    EXPECT_FLOAT_EQ(m.settings().boostDB, 7);
    ASSERT_TRUE(m.settings().headphoneProfile);
    EXPECT_EQ(m.settings().headphoneProfile->id, QStringLiteral("autoeq.test"));
    EXPECT_TRUE(rock.matches(m.settings()));
    EXPECT_EQ(store.string(PresetLibrary::selectionKey), QStringLiteral("builtin.rock"));
}

TEST_F(SettingsRoad, ApplyingAPresetEqualToAnotherSelectsTheOneApplied)
{
    BoostModel& m = make();
    SoundPreset copy = builtIn("builtin.rock");
    const std::optional<SoundPreset> saved = m.presets().save("My rock", copy.applied(DSPSettings()));
    ASSERT_TRUE(saved);
    m.apply(builtIn("builtin.rock"));
    EXPECT_EQ(m.presets().selectedID(), QStringLiteral("builtin.rock"));
    m.apply(*saved);
    EXPECT_EQ(m.presets().selectedID(), saved->id);
    EXPECT_EQ(store.string(PresetLibrary::selectionKey), saved->id);
}

TEST_F(SettingsRoad, CyclingBackWithNothingSelectedReachesTheSecondToLast)
{
    BoostModel& m = make();
    m.change(unmatched);
    ASSERT_FALSE(m.presets().selectedID());
    const std::vector<SoundPreset> list = m.presets().combined();
    m.cyclePreset(-1);
    EXPECT_EQ(m.presets().selectedID(), list[list.size() - 2].id);
    m.change(unmatched);
    m.cyclePreset(1);
    EXPECT_EQ(m.presets().selectedID(), list[0].id);
}

TEST_F(SettingsRoad, CyclingWrapsFromTheLastBuiltInToTheFirstCustom)
{
    BoostModel& m = make();
    const std::vector<SoundPreset>& builtIns = BuiltInPresets::all();
    m.apply(builtIns.back());
    m.cyclePreset(1);
    EXPECT_EQ(m.presets().selectedID(), builtIns.front().id);
    DSPSettings mine;
    unmatched(mine);
    const std::optional<SoundPreset> custom = m.presets().save("Mine", mine);
    m.apply(builtIns.back());
    m.cyclePreset(1);
    EXPECT_EQ(m.presets().selectedID(), custom->id);
    m.cyclePreset(-1);
    EXPECT_EQ(m.presets().selectedID(), builtIns.back().id);
}

TEST_F(SettingsRoad, CyclingFromAVanishedSelectionCountsAsNoSelection)
{
    BoostModel& m = make();
    DSPSettings mine;
    unmatched(mine);
    const std::optional<SoundPreset> custom = m.presets().save("Gone", mine);
    m.apply(*custom);
    m.presets().deletePreset(*custom);
    m.presets().select(custom->id);
    m.cyclePreset(1);
    EXPECT_EQ(m.presets().selectedID(), BuiltInPresets::all().front().id);
}

TEST_F(SettingsRoad, BoostIsKeptWithinItsRange)
{
    BoostModel& m = make();
    m.change([](DSPSettings& s) { s.boostDB = 12; });
    m.adjustBoost(1);
    EXPECT_FLOAT_EQ(m.settings().boostDB, 12);
    m.change([](DSPSettings& s) { s.boostDB = 0.5f; });
    m.adjustBoost(-1);
    EXPECT_FLOAT_EQ(m.settings().boostDB, 0);
}

TEST_F(SettingsRoad, AFailedHeadphoneImportShowsTheParsersErrorAndChangesNothing)
{
    BoostModel& m = make();
    const QString path = QDir(home.path()).filePath("empty.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Preamp: -6 dB\n");
    file.close();
    const DSPSettings before = m.settings();
    m.importHeadphoneProfile(path);
    EXPECT_EQ(m.settings(), before);
    ASSERT_TRUE(m.system().errorMessage());
    EXPECT_EQ(m.system().errorMessage()->text(),
              QStringLiteral("Could not import the headphone profile: No AutoEq filters found in this file."));
}

TEST_F(SettingsRoad, HeadphoneProfileOnAndOffLeavesTheRest)
{
    BoostModel& m = make();
    m.change(unmatched);
    const HeadphoneProfile profile = testProfile();
    m.setHeadphoneProfile(profile);
    ASSERT_TRUE(m.settings().headphoneProfile);
    m.setHeadphoneProfile(std::nullopt);
    DSPSettings expected;
    unmatched(expected);
    EXPECT_EQ(m.settings(), expected.sanitized());
}

TEST_F(SettingsRoad, AFailedWriteOfTheStoreIsReported)
{
    // A store whose file is a folder cannot be written.
    const QString folder = QDir(home.path()).filePath("store-is-a-folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    store = UserDefaults(folder);
    BoostModel& m = make();
    EXPECT_FALSE(m.system().errorMessage());
    m.adjustBoost(1);
    ASSERT_TRUE(m.system().errorMessage());
    EXPECT_EQ(m.system().errorMessage()->text(), QStringLiteral("Could not save the settings file %1.").arg(folder));
}

TEST_F(SettingsRoad, ProcessedIsNotRemembered)
{
    make().setProcessed(false);
    model->adjustBoost(1);
    EXPECT_TRUE(make().processed());
}

TEST(MainTabTest, RawValuesAreExactAndTitlesFollowTheLanguage)
{
    EXPECT_EQ(mainTab::fromRawValue("Equalizer"), std::nullopt);
    EXPECT_EQ(mainTab::fromRawValue(" output"), std::nullopt);
    EXPECT_EQ(mainTab::fromRawValue("output"), MainTab::output);
    EXPECT_EQ(mainTab::allCases.front(), MainTab::boost);
    EXPECT_EQ(mainTab::title(MainTab::output, AppLanguage::portuguese), QStringLiteral("Saída"));
    EXPECT_EQ(mainTab::title(MainTab::output, AppLanguage::english), QStringLiteral("Output"));
    for (MainTab tab : mainTab::allCases) {
        EXPECT_EQ(mainTab::fromRawValue(mainTab::rawValue(tab)), tab);
        // Every subtitle has its own Portuguese text.
        EXPECT_NE(mainTab::subtitle(tab, AppLanguage::portuguese), mainTab::subtitle(tab, AppLanguage::english));
    }
}

}  // namespace
