#include "HeadphoneLibrary.h"

#include "AudioFailure.h"
#include "HeadphoneCatalog.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "UserFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <unistd.h>

using namespace quorel;

namespace {

const QString customKey = QString::fromLatin1(HeadphoneLibrary::customKey);

QByteArray autoEq(float gain)
{
    return QStringLiteral("Preamp: -3 dB\nFilter 1: ON PK Fc 100 Hz Gain %1 dB Q 1\n").arg(gain).toUtf8();
}

class HeadphoneLibraryTest : public ::testing::Test {
protected:
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = QDir(home.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    void expectRefused(const QString& path, const QString& message)
    {
        HeadphoneLibrary library;
        const auto before = library.custom();
        const std::optional<QString> stored = store.string(customKey);
        try {
            library.importProfile(path);
            ADD_FAILURE() << "imported " << path.toStdString();
        } catch (const AudioFailure& failure) {
            EXPECT_EQ(failure.description(), message);
        }
        EXPECT_EQ(library.custom(), before);
        EXPECT_EQ(store.string(customKey), stored);
    }

    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
};

}  // namespace

TEST(HeadphoneProfileName, SuffixesAreRemovedInTurn)
{
    EXPECT_EQ(HeadphoneLibrary::profileName("/x/Acme H1 ParametricEQ.txt"), QStringLiteral("Acme H1"));
    EXPECT_EQ(HeadphoneLibrary::profileName("/x/Acme H1ParametricEQ.txt"), QStringLiteral("Acme H1"));
    EXPECT_EQ(HeadphoneLibrary::profileName("/x/Acme H1 FixedBandEQ.txt"), QStringLiteral("Acme H1"));
    EXPECT_EQ(HeadphoneLibrary::profileName("/x/Acme ParametricEQ ParametricEQ.txt"), QStringLiteral("Acme "));
    EXPECT_EQ(HeadphoneLibrary::profileName("/x/Acme parametriceq.txt"), QStringLiteral("Acme parametriceq"));
}

TEST_F(HeadphoneLibraryTest, ImportNamesFromTheFileAndSurvivesARestart)
{
    HeadphoneLibrary library;
    const HeadphoneProfile profile = library.importProfile(writeFile("Acme ParametricEQ ParametricEQ.txt", autoEq(2)));
    EXPECT_EQ(profile.name, QStringLiteral("Acme"));
    EXPECT_EQ(profile.brand, QStringLiteral("Acme"));
    EXPECT_EQ(HeadphoneLibrary().custom(), library.custom());
    ASSERT_EQ(library.custom().size(), 1u);
    EXPECT_EQ(library.custom()[0], profile);
}

TEST_F(HeadphoneLibraryTest, ReimportReplacesInPlaceNewOnesGoOnTop)
{
    HeadphoneLibrary library;
    const HeadphoneProfile first = library.importProfile(writeFile("Acme H1 ParametricEQ.txt", autoEq(2)));
    library.importProfile(writeFile("Bolt B2 ParametricEQ.txt", autoEq(1)));
    EXPECT_EQ(library.custom()[0].name, QStringLiteral("Bolt B2"));

    const HeadphoneProfile again = library.importProfile(writeFile("acme h1 ParametricEQ.txt", autoEq(5)));
    EXPECT_EQ(again.id, first.id);
    ASSERT_EQ(library.custom().size(), 2u);
    EXPECT_EQ(library.custom()[1].id, first.id);
    EXPECT_EQ(library.custom()[1].name, QStringLiteral("acme h1"));
    EXPECT_EQ(library.custom()[1].brand, QStringLiteral("acme"));
    EXPECT_EQ(library.custom()[1].filters[0].gainDB, 5);
}

TEST_F(HeadphoneLibraryTest, ReimportUnderAnotherUnicodeSpellingReplacesTheSameProfile)
{
    HeadphoneLibrary library;
    const QString decomposed = QString::fromUtf8("Cafe\u0301 One");
    const QString composed = QString::fromUtf8("Caf\u00e9 One");
    ASSERT_NE(composed, decomposed);
    const HeadphoneProfile first = library.importProfile(writeFile(decomposed + ".txt", autoEq(2)));
    const HeadphoneProfile again = library.importProfile(writeFile(composed + ".txt", autoEq(4)));
    EXPECT_EQ(again.id, first.id);
    ASSERT_EQ(library.custom().size(), 1u);
    EXPECT_EQ(library.custom()[0].name, composed);
    EXPECT_EQ(library.custom()[0].filters[0].gainDB, 4);
    EXPECT_EQ(library.importProfile(writeFile(QString::fromUtf8("CAFE\u0301 ONE.txt"), autoEq(5))).id, first.id);
    EXPECT_EQ(library.custom().size(), 1u);
    library.importProfile(writeFile("Cafe One.txt", autoEq(1)));  // accents count
    EXPECT_EQ(library.custom().size(), 2u);
}

TEST_F(HeadphoneLibraryTest, DeleteRemovesImportsButNeverCatalogProfiles)
{
    HeadphoneLibrary library;
    const HeadphoneProfile mine = library.importProfile(writeFile("Acme H1.txt", autoEq(2)));
    const std::optional<QString> stored = store.string(customKey);

    HeadphoneProfile catalogLike = mine;
    catalogLike.id = QStringLiteral("autoeq.x");
    library.deleteProfile(catalogLike);
    library.deleteProfile(HeadphoneCatalog::all().front());
    EXPECT_EQ(library.custom().size(), 1u);
    EXPECT_EQ(store.string(customKey), stored);

    library.deleteProfile(mine);
    EXPECT_TRUE(library.custom().empty());
    EXPECT_TRUE(HeadphoneLibrary().custom().empty());
}

TEST_F(HeadphoneLibraryTest, StoredProfilesAreSanitizedOnLoading)
{
    QJsonArray filters;
    for (int i = 0; i < 30; ++i)
        filters.append(QJsonObject{{"kind", "peak"}, {"frequency", 100}, {"gainDB", 1}, {"q", 1}});
    const QJsonArray list{QJsonObject{{"id", "import.A"}, {"name", "A"}, {"preampDB", 6}, {"filters", filters}}};
    store.setString(customKey, QString::fromUtf8(QJsonDocument(list).toJson()));
    const HeadphoneLibrary library;
    ASSERT_EQ(library.custom().size(), 1u);
    EXPECT_EQ(library.custom()[0].filters.size(), 12u);
    EXPECT_EQ(library.custom()[0].preampDB, 0);
}

TEST_F(HeadphoneLibraryTest, CorruptStoredListReadsEmptyUntilTheNextWrite)
{
    const QString corrupt = QStringLiteral(R"([{"id": "import.A", "name": "A", "filters": [{"kind": "bandPass"}]}])");
    store.setString(customKey, corrupt);
    store.setString(QStringLiteral("Corvanta.Presets.Selected.v1"), QStringLiteral("builtin.music"));
    HeadphoneLibrary library;
    EXPECT_TRUE(library.custom().empty());
    EXPECT_EQ(store.string(customKey), corrupt);
    EXPECT_EQ(store.string(QStringLiteral("Corvanta.Presets.Selected.v1")), QStringLiteral("builtin.music"));
    store.setString(customKey, QStringLiteral("{{{"));
    EXPECT_TRUE(HeadphoneLibrary().custom().empty());

    library.importProfile(writeFile("Acme H1.txt", autoEq(2)));
    EXPECT_EQ(HeadphoneLibrary().custom().size(), 1u);
    // Both unreadable lists were kept aside before the write replaced them.
    EXPECT_EQ(store.string(customKey + QStringLiteral(".unreadable")), corrupt);
    EXPECT_EQ(store.string(customKey + QStringLiteral(".unreadable2")), QStringLiteral("{{{"));
}

TEST_F(HeadphoneLibraryTest, BadFilesAreRefusedAndChangeNothing)
{
    HeadphoneLibrary().importProfile(writeFile("Kept.txt", autoEq(1)));
    const QString none = QStringLiteral("No AutoEq filters found in this file.");
    expectRefused(writeFile("empty.txt", ""), none);
    expectRefused(writeFile("off.txt", "Filter 1: OFF PK Fc 100 Hz Gain 1 dB Q 1\n"), none);
    expectRefused(writeFile("json.txt", R"({"id": "import.A", "name": "A"})"), none);
    expectRefused(writeFile("latin1.txt", "Preamp: -3 dB\xff\nFilter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\n"),
                  QStringLiteral("The file latin1.txt is not UTF-8 text."));
    QByteArray big = autoEq(1);
    big.append(QByteArray(1024 * 1024, '\n'));
    expectRefused(writeFile("big.txt", big), QStringLiteral("The file big.txt is larger than 1 MiB."));
    expectRefused(QDir(home.path()).filePath("config"), QStringLiteral("The file config is not a regular file."));
    expectRefused(QStringLiteral("/dev/null"), QStringLiteral("The file null is not a regular file."));
    expectRefused(QDir(home.path()).filePath("missing.txt"), QStringLiteral("Could not read the file missing.txt."));
    EXPECT_EQ(HeadphoneLibrary().custom().size(), 1u);
}

TEST_F(HeadphoneLibraryTest, AFailedWriteChangesNothingAndPublishesNothing)
{
    HeadphoneLibrary library;
    const HeadphoneProfile acme = library.importProfile(writeFile("Acme H1.txt", autoEq(2)));
    library.importProfile(writeFile("Bolt B2.txt", autoEq(1)));
    const std::vector<HeadphoneProfile> before = library.custom();
    int changes = 0;
    QObject::connect(&library, &HeadphoneLibrary::customChanged, [&] { ++changes; });

    // A folder where the store's file belongs: every write fails.
    ASSERT_TRUE(QFile::remove(store.filePath()));
    ASSERT_TRUE(QDir().mkpath(store.filePath()));
    const QString message = QStringLiteral("Could not save the settings file %1.").arg(store.filePath());
    const auto expectFailure = [&](const char* what, const std::function<void()>& operation) {
        SCOPED_TRACE(what);
        try {
            operation();
            ADD_FAILURE() << "the write did not fail";
        } catch (const AudioFailure& failure) {
            EXPECT_EQ(failure.description(), message);
        }
        EXPECT_EQ(library.custom(), before);
        EXPECT_EQ(changes, 0);
    };
    expectFailure("new import", [&] { library.importProfile(writeFile("Cord C3.txt", autoEq(3))); });
    expectFailure("import over an existing profile",
                  [&] { library.importProfile(writeFile("acme h1.txt", autoEq(4))); });
    expectFailure("delete", [&] { library.deleteProfile(acme); });
}

TEST(UserFileNames, NamesThatAreNotUtf8KeepTheirBytes)
{
    for (const QByteArray& bytes :
         {QByteArray("plain.txt"), QByteArray("caf\xc3\xa9 \xf0\x9f\x8e\xa7.txt"), QByteArray("\xff\xfe.txt"),
          QByteArray("a\xc3(b"), QByteArray("\xed\xa0\x80"), QByteArray("\xc0\xaf"), QByteArray("\xf4\x90\x80\x80"),
          QByteArray("end\xe2\x82")}) {
        const QString name = UserFile::decodeName(bytes);
        EXPECT_EQ(UserFile::encodeName(name), bytes) << bytes.toHex().constData();
    }
    // Valid UTF-8 decodes as itself.
    EXPECT_EQ(UserFile::decodeName("caf\xc3\xa9"), QStringLiteral("café"));
    EXPECT_EQ(UserFile::encodeName(QStringLiteral("café 🎧")), QByteArray("caf\xc3\xa9 \xf0\x9f\x8e\xa7"));
}

TEST_F(HeadphoneLibraryTest, AFileWhoseNameIsNotUtf8ImportsByItsBytes)
{
    const QByteArray native = QFile::encodeName(home.path()) + "/Acme \xff H1 ParametricEQ.txt";
    const QByteArray text = autoEq(2);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.constData(), size_t(text.size())), ssize_t(text.size()));
    ::close(fd);
    HeadphoneLibrary library;
    const HeadphoneProfile profile = library.importProfile(UserFile::decodeName(native));
    EXPECT_EQ(profile.filters.size(), 1u);
    EXPECT_TRUE(profile.name.startsWith(QStringLiteral("Acme ")));
    EXPECT_TRUE(profile.name.endsWith(QStringLiteral(" H1")));
    ::unlink(native.constData());  // QTemporaryDir cannot remove names that are not UTF-8
}
