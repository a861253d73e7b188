#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include <unistd.h>

using namespace quorel;

// How the settings store copes with a file QSettings cannot take whole, with lock files it
// cannot take, and with what a writer killed in the middle of a write leaves behind.

namespace {

const QString changedKey = QStringLiteral("Corvanta.DSP.v2");
const QString changedValue = QStringLiteral(R"({"boostDB":4,"loudness":0.5})");

// The settings of a store as the application leaves them.
const std::vector<std::pair<QString, QString>> realisticSettings{
    {"Corvanta.Presets.Custom.v1", R"([{"id":"custom.A","name":"Evening, quiet","boostDB":3}])"},
    {"Corvanta.System.Active.v1", "true"},
    {"Corvanta.Tab.v1", "equalizer"},
    {"Quorel.Language", "pt-BR"},
};

// The bytes of a store holding realisticSettings, as UserDefaults writes them.
QByteArray realisticStore(const QString& folder)
{
    UserDefaults writer(folder + "/realistic.conf");
    for (const auto& [key, value] : realisticSettings) EXPECT_TRUE(writer.setString(key, value));
    return test::fileBytes(writer.filePath());
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList damagedCopies(const QString& storePath)
{
    const QFileInfo store(storePath);
    return store.absoluteDir().entryList({store.fileName() + ".damaged-*"}, QDir::Files | QDir::Hidden);
}

// What a QSettings that has never seen `bytes` makes of them: a format error, and its keys.
struct PlainRead {
    bool formatError = false;
    QStringList keys;  // those whose value it can read
};

PlainRead plainRead(const QByteArray& bytes)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(bytes);
    file.close();
    const QSettings settings(file.fileName(), QSettings::IniFormat);
    PlainRead read;
    for (const QString& key : settings.allKeys())
        if (!key.isEmpty() && settings.contains(key)) read.keys.append(key);  // "/a" is listed, "a" is read
    read.formatError = settings.status() == QSettings::FormatError;
    return read;
}

// The store at `path` read by a store that has never seen it (QSettings keeps what this process
// wrote in memory), as a later process reads it.
UserDefaults readAfresh(const QString& path)
{
    static int copies = 0;
    const QString copy = QFileInfo(path).absolutePath() + QStringLiteral("/afresh-%1.conf").arg(++copies);
    EXPECT_TRUE(QFile::copy(path, copy));
    return UserDefaults(copy);
}

}  // namespace

// Hand edits after which QSettings reports a format error: before, every save failed for good
// and no copy of the file was kept. Now the file is kept beside it once, every setting that can
// be read is kept, and the change is saved.
TEST(UserDefaultsRecovery, AHandEditedFileIsKeptBesideItOnceAndTheNextSaveSucceeds)
{
    const QByteArray header = "[General]\n";
    const QByteArray body = "Corvanta.System.Active.v1=true\nCorvanta.Tab.v1=equalizer\nQuorel.Language=pt-BR\n";
    const std::map<QString, QString> all{
        {"Corvanta.System.Active.v1", "true"}, {"Corvanta.Tab.v1", "equalizer"}, {"Quorel.Language", "pt-BR"}};
    struct HandEdit {
        const char* group;
        const char* name;
        QByteArray bytes;
        std::map<QString, QString> kept;  // the settings that stand whole in it
    };
    const std::vector<HandEdit> edits{
        {"editor", "byte-order mark", "\xEF\xBB\xBF" + header + body, all},
        {"editor", "comment line", header + "# my settings\n" + body, all},
        {"editor", "key without =", header + "Corvanta.Tab.v1=equalizer\nfoo\n", {{"Corvanta.Tab.v1", "equalizer"}}},
        {"editor", "key without = in the middle",
         header + "Corvanta.System.Active.v1=true\nfoo\nCorvanta.Tab.v1=equalizer\n" + "Quorel.Language=pt-BR\n", all},
        {"cut short", "header", "[Gene", {}},
        {"cut short", "second header", header + body + "[Gene", all},
        {"cut short", "last key", header + body + "Quorel.Headph", all},
    };
    for (const HandEdit& edit : edits) {
        SCOPED_TRACE(std::string(edit.group) + ": " + edit.name);
        test::TemporaryHome home;
        const QString path = home.configHome() + "/Quorel/Quorel.conf";
        writeFile(path, edit.bytes);
        // Qt 6.8 reads past a byte-order mark, which Qt 6.4 takes for a format error: there the
        // file is whole and nothing is set aside.
        const bool damaged = plainRead(edit.bytes).formatError;
        if (!damaged) {
            ASSERT_EQ(std::string(edit.name), "byte-order mark") << "QSettings takes this file whole";
        }

        UserDefaults store = UserDefaults::standard();
        EXPECT_TRUE(store.save(changedKey, changedValue));
        EXPECT_FALSE(store.hasUnsavedChanges());
        EXPECT_TRUE(store.save("Corvanta.Tab.v1", "boost"));  // a second save neither fails nor copies again

        const QStringList copies = damagedCopies(path);
        EXPECT_EQ(copies.size(), damaged ? 1 : 0) << copies.join(", ").toStdString();
        if (damaged && !copies.isEmpty()) {
            EXPECT_EQ(test::fileBytes(QFileInfo(path).absolutePath() + "/" + copies.first()), edit.bytes);
        }
        const UserDefaults fresh = readAfresh(path);
        EXPECT_EQ(fresh.string(changedKey), changedValue);
        EXPECT_EQ(fresh.string("Corvanta.Tab.v1"), "boost");
        for (const auto& [key, value] : edit.kept) {
            if (key == "Corvanta.Tab.v1") continue;
            EXPECT_EQ(fresh.string(key), value) << key.toStdString();
        }
        EXPECT_FALSE(plainRead(test::fileBytes(path)).formatError) << test::fileBytes(path).constData();
    }
}

// A store cut at every byte (a disk that filled while another program wrote it, a copy that
// stopped): the next save succeeds, every setting whose line stands whole is kept, and a copy
// of the cut file is kept once when QSettings could not take it whole.
TEST(UserDefaultsRecovery, AStoreCutAtAnyByteTakesTheNextSave)
{
    test::TemporaryHome home;
    const QByteArray whole = realisticStore(home.path());
    ASSERT_GT(whole.size(), 100);
    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const QByteArray bytes = whole.left(cut);
        const QString path = home.path() + QStringLiteral("/cut%1/Quorel.conf").arg(cut);
        writeFile(path, bytes);

        UserDefaults store(path);
        ASSERT_TRUE(store.save(changedKey, changedValue)) << bytes.constData();
        const UserDefaults fresh = readAfresh(path);
        EXPECT_EQ(fresh.string(changedKey), changedValue);
        for (const auto& [key, value] : realisticSettings) {
            const qsizetype line = whole.indexOf("\n" + key.toUtf8() + "=");
            ASSERT_GT(line, 0);
            if (whole.indexOf('\n', line + 1) < cut) {
                EXPECT_EQ(fresh.string(key), value) << key.toStdString();
            }
        }
        const qsizetype copies = damagedCopies(path).size();
        EXPECT_LE(copies, 1);
        if (plainRead(bytes).formatError) {
            EXPECT_EQ(copies, 1) << bytes.constData();
        }
    }
}

// Random bytes in place of the store, some of them from the characters INI files are made of:
// the next save succeeds, and every key QSettings can read from them is kept.
TEST(UserDefaultsRecovery, RandomBytesTakeTheNextSave)
{
    test::TemporaryHome home;
    std::mt19937 random(20261210);
    const QByteArray iniCharacters = "[]=\n\r\t \"\\;#@%,/.aBz09";
    for (int round = 0; round < 120; ++round) {
        SCOPED_TRACE(round);
        QByteArray bytes(int(random() % 300) + 1, '\0');
        for (char& byte : bytes)
            byte = round % 2 ? char(random() % 256) : iniCharacters[qsizetype(random() % iniCharacters.size())];
        const QString path = home.path() + QStringLiteral("/random%1/Quorel.conf").arg(round);
        writeFile(path, bytes);
        const PlainRead before = plainRead(bytes);

        UserDefaults store(path);
        ASSERT_TRUE(store.save(changedKey, changedValue)) << bytes.toHex().constData();
        const UserDefaults fresh = readAfresh(path);
        EXPECT_EQ(fresh.string(changedKey), changedValue);
        for (const QString& key : before.keys)
            EXPECT_TRUE(fresh.contains(key)) << key.toUtf8().toHex().constData() << " in " << bytes.toHex().constData();
        const qsizetype copies = damagedCopies(path).size();
        EXPECT_LE(copies, 1);
        if (before.formatError) {
            EXPECT_EQ(copies, 1) << bytes.toHex().constData();
        }
    }
}

// A folder where a lock file of the store goes can never be locked. A save used to wait for it
// for ever; now it gives up within seconds, as a save of an unwritable store fails, keeps the
// change for the next save, and that one stores it. Run in a child that is killed when it
// does not end.
TEST(UserDefaultsRecovery, ALockThatCannotBeTakenFailsTheSaveInsteadOfWaitingForEver)
{
    for (const char* lock : {".lock", ".update-lock"}) {
        SCOPED_TRACE(lock);
        test::TemporaryHome home;
        UserDefaults store = UserDefaults::standard();
        ASSERT_TRUE(store.setString("Quorel.Language", "pt-BR"));
        const QString folder = store.filePath() + lock;
        ASSERT_TRUE(QDir().mkpath(folder));
        const int code = test::exitCodeWithin(60, [&] {
            UserDefaults child = UserDefaults::standard();
            if (child.save("Corvanta.Tab.v1", "boost")) return 1;
            if (!child.hasUnsavedChanges()) return 2;
            if (child.setString("Quorel.Language", "en")) return 3;
            if (!QDir(folder).removeRecursively()) return 4;
            if (!child.save(changedKey, changedValue)) return 5;
            const UserDefaults fresh = readAfresh(child.filePath());
            if (fresh.string("Corvanta.Tab.v1") != "boost" || fresh.string(changedKey) != changedValue) return 6;
            return fresh.string("Quorel.Language") == "pt-BR" ? 0 : 7;
        });
        EXPECT_EQ(code, 0) << "-1: the save was still waiting after a minute";
    }
}

namespace {

// Makes the file at `path` look `seconds` old.
void age(const QString& path, int seconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
}

// A lock file whose owner is gone: a child takes it and ends without letting it go.
void leaveDeadLock(const QString& path)
{
    const int code = test::exitCodeWithin(30, [&] {
        QLockFile lock(path);
        if (!lock.tryLock(0)) return 1;
        ::_exit(0);  // no destructor: the lock file stays, naming a process that is gone
    });
    ASSERT_EQ(code, 0);
    ASSERT_TRUE(QFileInfo::exists(path));
}

}  // namespace

// A writer killed in the middle of a save leaves its copy of the store and lock files behind.
// The next save removes those of a writer that is gone, and nothing a live writer holds.
TEST(UserDefaultsRecovery, TheNextSaveRemovesWhatADeadWriterLeftAndNothingALiveOneHolds)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    ASSERT_TRUE(store.setString("Quorel.Language", "pt-BR"));
    const QString folder = QFileInfo(store.filePath()).absolutePath();
    const QString copy = folder + "/.Quorel.conf.";
    const QByteArray stored = test::fileBytes(store.filePath());

    // A dead writer's: a copy alone, a copy with its lock, a copy with the empty lock of a writer
    // killed as it took it, and the lock QSettings takes on the store.
    for (const char* name : {"AbC123", "DeF456", "GhI789"}) {
        writeFile(copy + name, stored);
        age(copy + name, 3600);
    }
    leaveDeadLock(copy + "DeF456.lock");
    writeFile(copy + "GhI789.lock", "");
    age(copy + "GhI789.lock", 3600);
    leaveDeadLock(store.filePath() + ".lock");
    // A live writer's: a copy whose lock is held, and a copy just made.
    writeFile(copy + "LiVe01", stored);
    age(copy + "LiVe01", 3600);
    QLockFile live(copy + "LiVe01.lock");
    ASSERT_TRUE(live.tryLock(0));
    writeFile(copy + "NeW002", stored);

    EXPECT_TRUE(store.save("Corvanta.Tab.v1", "boost"));
    for (const char* gone : {"AbC123", "DeF456", "DeF456.lock", "GhI789", "GhI789.lock"})
        EXPECT_FALSE(QFileInfo::exists(copy + gone)) << gone;
    EXPECT_FALSE(QFileInfo::exists(store.filePath() + ".lock"));
    for (const char* kept : {"LiVe01", "LiVe01.lock", "NeW002"}) EXPECT_TRUE(QFileInfo::exists(copy + kept)) << kept;
    EXPECT_EQ(readAfresh(store.filePath()).string("Corvanta.Tab.v1"), "boost");
}
