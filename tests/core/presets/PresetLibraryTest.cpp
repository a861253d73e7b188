#include "PresetLibrary.h"

#include "AudioFailure.h"
#include "BuiltInPresets.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using namespace quorel;

namespace {

const QString customKey = QString::fromLatin1(PresetLibrary::customKey);
const QString selectionKey = QString::fromLatin1(PresetLibrary::selectionKey);

class PresetLibraryTest : public ::testing::Test {
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    DSPSettings settingsWithLoudness(float loudness)
    {
        DSPSettings settings;
        settings.loudness = loudness;
        return settings;
    }

    QStringList names(const PresetLibrary& library)
    {
        QStringList result;
        for (const SoundPreset& preset : library.custom()) result.append(preset.name);
        return result;
    }

    // Expects the import to fail with `message` and to leave the store as it was.
    void expectRefused(const QString& path, const QString& message)
    {
        PresetLibrary library;
        const size_t count = library.custom().size();
        const std::optional<QString> before = store.string(customKey);
        const std::optional<QString> selection = store.string(selectionKey);
        try {
            library.importPreset(path);
            ADD_FAILURE() << "imported " << path.toStdString();
        } catch (const AudioFailure& failure) {
            EXPECT_EQ(failure.description(), message);
        }
        EXPECT_EQ(store.string(customKey), before);
        EXPECT_EQ(store.string(selectionKey), selection);
        EXPECT_EQ(library.custom().size(), count);
    }

    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
};

}  // namespace

TEST_F(PresetLibraryTest, SaveReplacesByNameInPlaceAndSelects)
{
    PresetLibrary library;
    const SoundPreset night = library.save(QStringLiteral("Night"), settingsWithLoudness(0.1f)).value();
    library.save(QStringLiteral("Day"), settingsWithLoudness(0.2f));
    EXPECT_EQ(names(library), (QStringList{"Day", "Night"}));

    int changed = 0;
    QObject::connect(&library, &PresetLibrary::customChanged, [&] { ++changed; });
    const SoundPreset renamed = library.save(QStringLiteral("  night \n"), settingsWithLoudness(0.3f)).value();
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(renamed.id, night.id);
    EXPECT_EQ(names(library), (QStringList{"Day", "night"}));
    EXPECT_EQ(library.custom()[1].loudness, 0.3f);
    EXPECT_EQ(library.selectedID(), night.id);
    EXPECT_EQ(store.string(selectionKey), night.id);

    library.save(QStringLiteral("Evening"), DSPSettings());
    EXPECT_EQ(names(library), (QStringList{"Evening", "Day", "night"}));

    const PresetLibrary reopened;
    EXPECT_EQ(reopened.custom(), library.custom());
    EXPECT_EQ(reopened.selectedID(), library.selectedID());
}

TEST_F(PresetLibraryTest, BlankNameSavesNothing)
{
    PresetLibrary library;
    EXPECT_FALSE(library.save(QStringLiteral(" \n\t "), DSPSettings()));
    EXPECT_TRUE(library.custom().empty());
    EXPECT_FALSE(store.contains(customKey));
    EXPECT_FALSE(store.contains(selectionKey));
}

TEST_F(PresetLibraryTest, CustomPresetNamedKeepsLineBreaks)
{
    PresetLibrary library;
    const SoundPreset day = library.save(QStringLiteral("Day"), DSPSettings()).value();
    EXPECT_FALSE(library.customPreset(QStringLiteral("Day\n")));
    EXPECT_EQ(library.customPreset(QStringLiteral("\tday ")).value().id, day.id);
    EXPECT_EQ(library.save(QStringLiteral("Day\n"), DSPSettings()).value().id, day.id);
}

TEST_F(PresetLibraryTest, NamesInComposedAndDecomposedSpellingAreOneName)
{
    PresetLibrary library;
    const QString composed = QString::fromUtf8("Ação");
    const QString decomposed = QString::fromUtf8("Ac\u0327a\u0303o");
    ASSERT_NE(composed, decomposed);
    const SoundPreset first = library.save(composed, DSPSettings()).value();
    EXPECT_EQ(library.customPreset(decomposed).value().id, first.id);
    EXPECT_EQ(library.save(decomposed, DSPSettings()).value().id, first.id);  // replaced, not a second one
    EXPECT_EQ(library.custom().size(), 1u);
    EXPECT_FALSE(library.customPreset(QStringLiteral("Acao")));  // accents count
}

TEST_F(PresetLibraryTest, DeleteKeepsOrClearsTheSelection)
{
    PresetLibrary library;
    const SoundPreset a = library.save(QStringLiteral("A"), settingsWithLoudness(0.1f)).value();
    const SoundPreset b = library.save(QStringLiteral("B"), settingsWithLoudness(0.2f)).value();
    library.deletePreset(a);
    EXPECT_EQ(library.selectedID(), b.id);
    library.deletePreset(b);
    EXPECT_FALSE(library.selectedID());
    EXPECT_FALSE(store.contains(selectionKey));
    EXPECT_TRUE(library.custom().empty());

    library.select(QStringLiteral("builtin.music"));
    library.deletePreset(BuiltInPresets::preset("builtin.music").value());
    EXPECT_EQ(library.selectedID(), QStringLiteral("builtin.music"));
    EXPECT_EQ(library.presets(PresetCategory::music).size(), 7u);
}

TEST_F(PresetLibraryTest, SelectionFollowsTheSettings)
{
    PresetLibrary library;
    const SoundPreset music = BuiltInPresets::preset("builtin.music").value();
    DSPSettings settings = music.applied(DSPSettings());
    library.settingsChanged(settings);
    EXPECT_EQ(library.selectedID(), music.id);

    // A custom copy saved and then the selection moved back to the built-in preset.
    const SoundPreset copy = library.save(QStringLiteral("Copy"), settings).value();
    library.select(music.id);
    settings.boostDB = 5;  // Boost never takes part: the built-in stays selected
    library.settingsChanged(settings);
    EXPECT_EQ(library.selectedID(), music.id);

    library.select(QStringLiteral("builtin.neutral"));  // stops matching: the custom one wins
    library.settingsChanged(settings);
    EXPECT_EQ(library.selectedID(), copy.id);

    settings.loudness = 0.77f;
    library.settingsChanged(settings);
    EXPECT_FALSE(library.selectedID());
    EXPECT_FALSE(store.contains(selectionKey));
}

TEST_F(PresetLibraryTest, UnknownSelectionReadsAsNone)
{
    store.setString(selectionKey, QStringLiteral("custom.gone"));
    PresetLibrary library;
    EXPECT_EQ(library.selectedID(), QStringLiteral("custom.gone"));
    EXPECT_FALSE(library.selected());
    library.settingsChanged(DSPSettings());
    EXPECT_EQ(library.selectedID(), QStringLiteral("builtin.neutral"));
}

TEST_F(PresetLibraryTest, StoredPresetsAreNormalizedOnLoading)
{
    QJsonArray bands;
    for (int i = 0; i < 10; ++i) bands.append(i == 0 ? 30 : 1);
    const QJsonObject stored{
        {"id", "custom.A"}, {"name", "A"}, {"category", "music"}, {"bands", bands}, {"limiterReleaseMS", 5000}};
    store.setString(customKey, QString::fromUtf8(QJsonDocument(QJsonArray{stored}).toJson()));
    const PresetLibrary library;
    ASSERT_EQ(library.custom().size(), 1u);
    const SoundPreset& preset = library.custom()[0];
    EXPECT_EQ(preset.category, PresetCategory::custom);
    ASSERT_EQ(preset.bands.size(), 31u);
    EXPECT_EQ(preset.bands[0], 12);
    EXPECT_EQ(preset.bands[9], 1);
    EXPECT_EQ(preset.bands[10], 0);
    EXPECT_EQ(preset.limiterReleaseMS, 5000);  // kept as stored
}

TEST_F(PresetLibraryTest, CorruptStoredListReadsEmptyAndLosesNothingElse)
{
    store.setString(customKey, QStringLiteral("[{\"id\": \"custom.A\"}"));
    store.setString(selectionKey, QStringLiteral("builtin.music"));
    store.setString(QStringLiteral("Corvanta.DSP.v2"), QStringLiteral("{}"));
    {
        const PresetLibrary library;
        EXPECT_TRUE(library.custom().empty());
        EXPECT_EQ(library.selectedID(), QStringLiteral("builtin.music"));
    }
    EXPECT_EQ(store.string(customKey), QStringLiteral("[{\"id\": \"custom.A\"}"));
    EXPECT_EQ(store.string(QStringLiteral("Corvanta.DSP.v2")), QStringLiteral("{}"));

    store.setString(customKey, QStringLiteral("[{\"id\": \"custom.A\", \"name\": \"A\", \"category\": \"bogus\"}]"));
    EXPECT_TRUE(PresetLibrary().custom().empty());
}

TEST_F(PresetLibraryTest, ASaveThatCannotReachTheFileIsReportedNotSwallowed)
{
    PresetLibrary library;
    // A folder where the settings file belongs: nothing can be written there, even as root.
    ASSERT_TRUE(QDir().mkpath(store.filePath()));
    EXPECT_THROW(library.save(QStringLiteral("Lost"), DSPSettings()), AudioFailure);
}

TEST_F(PresetLibraryTest, UnreadableStoredListIsKeptAsideBeforeTheNextSave)
{
    const QString corrupt = QStringLiteral("[{\"id\": \"custom.A\"}");
    store.setString(customKey, corrupt);
    PresetLibrary library;
    library.save(QStringLiteral("Fresh"), DSPSettings());
    EXPECT_EQ(store.string(customKey + QStringLiteral(".unreadable")), corrupt);
    EXPECT_EQ(PresetLibrary().custom().size(), 1u);
}

TEST_F(PresetLibraryTest, ImportTakesTheFirstPresetUnderANewId)
{
    const QByteArray two = R"([
        {"id": "builtin.movies", "name": "Night", "category": "music", "symbol": "film",
         "summary": "Mine", "loudness": 0.5, "bands": [1, 2, 3]},
        {"id": "x", "name": "Second"}])";
    PresetLibrary library;
    const SoundPreset imported = library.importPreset(writeFile("two.quorelpreset", two));
    EXPECT_TRUE(imported.id.startsWith(QStringLiteral("custom.")));
    EXPECT_EQ(imported.name, QStringLiteral("Night"));
    EXPECT_EQ(imported.category, PresetCategory::custom);
    EXPECT_EQ(imported.symbol, QStringLiteral("person.crop.square"));
    EXPECT_EQ(imported.summary, QStringLiteral("Preset saved by you."));
    EXPECT_EQ(imported.loudness, 0.5f);
    EXPECT_EQ(imported.bands.size(), 31u);
    EXPECT_EQ(imported.bands[2], 3);
    EXPECT_EQ(library.custom().size(), 1u);
    EXPECT_EQ(library.selectedID(), imported.id);

    const SoundPreset single = library.importPreset(writeFile("one.json", R"({"id": "y", "name": "Day"})"));
    EXPECT_EQ(single.name, QStringLiteral("Day"));
    EXPECT_EQ(PresetLibrary().custom().size(), 2u);
}

TEST_F(PresetLibraryTest, ImportNamesAfterTheFileAndNumbersClashes)
{
    PresetLibrary library;
    EXPECT_EQ(library.importPreset(writeFile("Late show.json", R"({"id": "y", "name": "  "})")).name,
              QStringLiteral("Late show"));
    library.save(QStringLiteral("Night"), DSPSettings());
    library.save(QStringLiteral("night (2)"), DSPSettings());
    EXPECT_EQ(library.importPreset(writeFile("n.json", R"({"id": "y", "name": "NIGHT"})")).name,
              QStringLiteral("NIGHT (3)"));
}

TEST_F(PresetLibraryTest, BadFilesAreRefusedAndChangeNothing)
{
    PresetLibrary library;
    library.save(QStringLiteral("Kept"), DSPSettings());

    expectRefused(writeFile("empty.json", ""), QStringLiteral("No preset in this file."));
    expectRefused(writeFile("blank.json", " \n "), QStringLiteral("No preset in this file."));
    expectRefused(writeFile("list.json", "[]"), QStringLiteral("No preset in this file."));
    const QString invalid = QStringLiteral("This file does not hold a valid preset.");
    expectRefused(writeFile("text.json", "hello"), invalid);
    expectRefused(writeFile("number.json", "42"), invalid);
    expectRefused(writeFile("shape.json", R"({"name": "no id"})"), invalid);
    expectRefused(writeFile("types.json", R"({"id": "x", "name": "y", "bands": "loud"})"), invalid);
    expectRefused(writeFile("nulls.json", R"({"id": "x", "name": "y", "bands": [1, null, 3]})"), invalid);
    expectRefused(writeFile("mixed.json", R"([{"id": "x", "name": "y"}, 3])"), invalid);
    expectRefused(writeFile("latin1.json", "{\"id\": \"x\", \"name\": \"caf\xe9\"}"),
                  QStringLiteral("The file latin1.json is not UTF-8 text."));
    expectRefused(writeFile("big.json", QByteArray(1024 * 1024 + 1, ' ')),
                  QStringLiteral("The file big.json is larger than 1 MiB."));
    expectRefused(home.path(), QStringLiteral("The file %1 is not a regular file.").arg(QDir(home.path()).dirName()));
    expectRefused(QDir(home.path()).filePath("missing.json"), QStringLiteral("Could not read the file missing.json."));
    const QString fifo = QDir(home.path()).filePath("pipe.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    expectRefused(fifo, QStringLiteral("The file pipe.json is not a regular file."));

    EXPECT_EQ(PresetLibrary().custom().size(), 1u);
}

TEST_F(PresetLibraryTest, ExactlyOneMiBIsAccepted)
{
    QByteArray bytes = R"({"id": "x", "name": "Big"})";
    bytes.append(QByteArray(1024 * 1024 - bytes.size(), ' '));
    PresetLibrary library;
    EXPECT_EQ(library.importPreset(writeFile("big.json", bytes)).name, QStringLiteral("Big"));
}

TEST_F(PresetLibraryTest, ExportThenImportRoundTripsEveryField)
{
    DSPSettings settings;
    for (int i = 0; i < 31; ++i) settings.bands[size_t(i)] = float(i % 7) - 3.5f;
    settings.highPassHz = 120;
    settings.loudness = 0.37f;
    settings.limiterReleaseMS = 123.4f;
    settings.limiterCeilingDB = -0.7f;
    settings.driveAmount = 0.21f;
    settings.bassHarmonics = 0.9f;
    PresetLibrary library;
    const SoundPreset original = library.save(QStringLiteral("Round trip"), settings).value();

    const QByteArray data = library.exportData(original);
    const QJsonObject exported = QJsonDocument::fromJson(data).object();
    EXPECT_EQ(exported.keys().size(), 12);
    EXPECT_EQ(SoundPreset::fromJson(exported), original);

    library.deletePreset(original);
    SoundPreset imported = library.importPreset(writeFile("Round trip.quorelpreset", data));
    EXPECT_NE(imported.id, original.id);
    imported.id = original.id;
    EXPECT_EQ(imported, original);
}

TEST_F(PresetLibraryTest, ExportOfABuiltInPreset)
{
    const PresetLibrary library;
    const QByteArray data = library.exportData(BuiltInPresets::preset("builtin.movies").value());
    EXPECT_TRUE(data.contains("\n    \"bands\""));  // pretty-printed
    const QJsonObject object = QJsonDocument::fromJson(data).object();
    EXPECT_EQ(object["id"].toString(), QStringLiteral("builtin.movies"));
    EXPECT_EQ(object["category"].toString(), QStringLiteral("custom"));
    EXPECT_EQ(object["symbol"].toString(), QStringLiteral("person.crop.square"));
    EXPECT_EQ(object["summary"].toString(), QStringLiteral("Exported from the built-in Filmes preset."));
    EXPECT_EQ(object["name"].toString(), QStringLiteral("Filmes"));
}

TEST_F(PresetLibraryTest, ExportFileNamesAreCleaned)
{
    SoundPreset preset = SoundPreset::customNamed(QStringLiteral("../etc/pass:wd\n\tx*?"), DSPSettings());
    EXPECT_EQ(PresetLibrary::exportFileName(preset), QStringLiteral("etc pass wd x.quorelpreset"));
    preset.name = QStringLiteral(" .. ");
    EXPECT_EQ(PresetLibrary::exportFileName(preset), QStringLiteral("Preset.quorelpreset"));
    preset.name = QString(300, u'a');
    EXPECT_EQ(PresetLibrary::exportFileName(preset), QString(100, u'a') + QStringLiteral(".quorelpreset"));
    EXPECT_EQ(PresetLibrary::exportFileName(BuiltInPresets::preset("builtin.movies-night").value()),
              QStringLiteral("Movies at night.quorelpreset"));
}

namespace {

// Replaces the store's file by a folder of the same name, so every later write fails.
void makeStoreUnwritable(const UserDefaults& store)
{
    ASSERT_TRUE(QFile::remove(store.filePath()));
    ASSERT_TRUE(QDir().mkpath(store.filePath()));
}

QStringList idsOf(const PresetLibrary& library)
{
    QStringList ids;
    for (const SoundPreset& preset : library.custom()) ids.append(preset.id);
    return ids;
}

}  // namespace

TEST_F(PresetLibraryTest, AFailedWriteChangesNothingAndPublishesNothing)
{
    PresetLibrary library;
    const SoundPreset night = library.save(QStringLiteral("Night"), settingsWithLoudness(0.1f)).value();
    const SoundPreset day = library.save(QStringLiteral("Day"), settingsWithLoudness(0.2f)).value();
    const QString file = writeFile("Late.quorelpreset", QJsonDocument(night.toJson()).toJson());
    const QStringList ids = idsOf(library);
    const std::optional<QString> selection = library.selectedID();
    ASSERT_EQ(selection, day.id);

    int listChanges = 0, selectionChanges = 0;
    QObject::connect(&library, &PresetLibrary::customChanged, [&] { ++listChanges; });
    QObject::connect(&library, &PresetLibrary::selectedIDChanged, [&] { ++selectionChanges; });
    makeStoreUnwritable(store);
    const QString message = QStringLiteral("Could not save the settings file %1.").arg(store.filePath());

    const auto expectUnchanged = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(idsOf(library), ids);
        EXPECT_EQ(names(library), (QStringList{"Day", "Night"}));
        EXPECT_EQ(library.custom()[1].applied(DSPSettings()).loudness, 0.1f);
        EXPECT_EQ(library.selectedID(), selection);
        EXPECT_EQ(listChanges, 0);
        EXPECT_EQ(selectionChanges, 0);
    };
    const auto expectFailure = [&](const std::function<void()>& operation) {
        try {
            operation();
            ADD_FAILURE() << "the write did not fail";
        } catch (const AudioFailure& failure) {
            EXPECT_EQ(failure.description(), message);
        }
    };
    expectFailure([&] { library.save(QStringLiteral("Evening"), settingsWithLoudness(0.3f)); });
    expectUnchanged("save of a new preset");
    expectFailure([&] { library.save(QStringLiteral("night"), settingsWithLoudness(0.4f)); });
    expectUnchanged("save over an existing preset");
    expectFailure([&] { library.importPreset(file); });
    expectUnchanged("import");
    expectFailure([&] { library.deletePreset(day); });
    expectUnchanged("delete of the selected preset");
}

TEST_F(PresetLibraryTest, AStoredListQSettingsTakesForTypedValuesIsKeptAsItStands)
{
    // A hand-edited line that QSettings reads as a list holding a typed entry.
    const QByteArray line = R"([{"id": "custom.A", "name": "A", "bands": []}, @oops])";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(store.filePath()).path()));
    QFile file(store.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nCorvanta.Presets.Custom.v1=" + line + "\nCorvanta.Presets.Selected.v1=custom.A\n");
    file.close();

    PresetLibrary library;
    EXPECT_TRUE(library.custom().empty());
    library.save(QStringLiteral("Night"), settingsWithLoudness(0.1f));
    EXPECT_EQ(names(PresetLibrary()), QStringList{"Night"});
    EXPECT_EQ(store.string(customKey + QStringLiteral(".unreadable")), QString::fromUtf8(line));
}

// Every change rewrites the whole list in the store, so one preset may not bring a name of any
// length: a file whose name is longer than the limit is not a valid preset, and the store
// stays small.
TEST_F(PresetLibraryTest, AnOverlongNameIsRefusedAndTheStoreStaysSmall)
{
    const QString invalid = QStringLiteral("This file does not hold a valid preset.");
    const QByteArray huge = QByteArray(R"({"id": "x", "name": ")") + QByteArray(1000000, 'n') + R"("})";
    expectRefused(writeFile("huge.quorelpreset", huge), invalid);
    EXPECT_LT(QFileInfo(store.filePath()).size(), 64 * 1024);

    const QByteArray longest(PresetLibrary::maximumNameLength, 'n');
    expectRefused(writeFile("long.quorelpreset", R"({"id": "x", "name": ")" + longest + R"(n"})"), invalid);
    PresetLibrary library;
    EXPECT_EQ(
        library.importPreset(writeFile("ok.quorelpreset", R"({"id": "x", "name": "  )" + longest + R"( "})")).name,
        QString::fromLatin1(longest));

    // Saving under a name asks for the same bound.
    EXPECT_FALSE(library.save(QString::fromLatin1(longest) + u'n', DSPSettings()));
    EXPECT_EQ(library.custom().size(), 1u);
}

// The list of the user's own presets is bounded too: a full list takes no new preset, by import
// or by saving under a new name, but a preset of the list may still be saved again.
TEST_F(PresetLibraryTest, AFullListTakesNoNewPreset)
{
    QJsonArray full;
    for (std::size_t i = 0; i < PresetLibrary::maximumCustom; ++i) {
        SoundPreset preset = SoundPreset::customNamed(QStringLiteral("Mine %1").arg(i), DSPSettings());
        full.append(preset.toJson());
    }
    ASSERT_TRUE(store.setString(customKey, QString::fromUtf8(QJsonDocument(full).toJson(QJsonDocument::Compact))));
    const QString message = QStringLiteral("You already have %1 presets of your own. Delete one to add another.")
                                .arg(PresetLibrary::maximumCustom);
    expectRefused(writeFile("one.quorelpreset", R"({"id": "x", "name": "One more"})"), message);

    PresetLibrary library;
    ASSERT_EQ(library.custom().size(), PresetLibrary::maximumCustom);
    const std::optional<QString> before = store.string(customKey);
    try {
        library.save(QStringLiteral("One more"), DSPSettings());
        ADD_FAILURE() << "saved a preset past the limit";
    } catch (const AudioFailure& failure) {
        EXPECT_EQ(failure.description(), message);
    }
    EXPECT_EQ(store.string(customKey), before);
    EXPECT_EQ(library.custom().size(), PresetLibrary::maximumCustom);

    EXPECT_TRUE(library.save(QStringLiteral("Mine 7"), settingsWithLoudness(0.4f)));
    library.deletePreset(library.custom().back());
    EXPECT_TRUE(library.save(QStringLiteral("One more"), DSPSettings()));
    EXPECT_EQ(library.custom().size(), PresetLibrary::maximumCustom);
}
