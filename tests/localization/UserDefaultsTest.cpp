#include "TestSupport.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <tuple>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorel;

namespace {

// A store read back from disk by a store that has never seen it (a fresh process would do the
// same): QSettings keeps what this process wrote in memory, so copy the file first.
UserDefaults reopened(const UserDefaults& store, const QString& copyPath)
{
    QFile::remove(copyPath);
    EXPECT_TRUE(QFile::copy(store.filePath(), copyPath));
    return UserDefaults(copyPath);
}

}  // namespace

TEST(UserDefaults, StandardFollowsXdgConfigHomeAtEveryCall)
{
    test::TemporaryHome first;
    EXPECT_EQ(UserDefaults::standard().filePath(), first.configHome() + "/Quorel/Quorel.conf");
    UserDefaults::standard().setString("Quorel.Language", "pt-BR");
    {
        test::TemporaryHome second;
        EXPECT_EQ(UserDefaults::standard().filePath(), second.configHome() + "/Quorel/Quorel.conf");
        EXPECT_FALSE(UserDefaults::standard().contains("Quorel.Language"));
    }
    EXPECT_EQ(UserDefaults::standard().string("Quorel.Language"), "pt-BR");
    qputenv("XDG_CONFIG_HOME", "relative/path");
    EXPECT_EQ(UserDefaults::standard().filePath(), QDir::homePath() + "/.config/Quorel/Quorel.conf");
}

TEST(UserDefaults, TextsRoundTripThroughTheFile)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    const QStringList texts{R"({"boostDB":3,"bands":[1, 2, 3],"name":"a, \"b\""})",
                            "a, b",
                            "a,b",
                            "  padded  ",
                            "@Variant(0)",
                            "line\nbreak",
                            "back\\slash",
                            "",
                            "x=y;z",
                            QString::fromUtf8("Português ✓"),
                            "[1,2]"};
    for (int i = 0; i < texts.size(); ++i) store.setString(QString("Corvanta.Text.v%1").arg(i), texts[i]);
    store.sync();
    EXPECT_TRUE(test::fileBytes(store.filePath()).contains("Corvanta.Text.v0="));
    UserDefaults copy = reopened(store, home.path() + "/copy.conf");
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(copy.string(QString("Corvanta.Text.v%1").arg(i)), texts[i]) << i;
        EXPECT_EQ(store.string(QString("Corvanta.Text.v%1").arg(i)), texts[i]) << i;
    }
}

TEST(UserDefaults, DottedKeysStayDistinct)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    store.setString("Corvanta.DSP.v2", "new");
    store.setString("Corvanta.Lab.DSP.v1", "old");
    store.setString("Corvanta", "bare");
    store.sync();
    UserDefaults copy = reopened(store, home.path() + "/copy.conf");
    EXPECT_EQ(copy.string("Corvanta.DSP.v2"), "new");
    EXPECT_EQ(copy.string("Corvanta.Lab.DSP.v1"), "old");
    EXPECT_EQ(copy.string("Corvanta"), "bare");
    store.remove("Corvanta.DSP.v2");
    EXPECT_FALSE(store.contains("Corvanta.DSP.v2"));
    EXPECT_TRUE(store.contains("Corvanta.Lab.DSP.v1"));
}

TEST(UserDefaults, BooleansAnswerOnlyForStoredBooleans)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    store.setBoolean("flag.on", true);
    store.setBoolean("flag.off", false);
    store.setString("flag.text", "1");
    store.setNumber("flag.number", 1);
    store.sync();
    UserDefaults copy = reopened(store, home.path() + "/copy.conf");
    for (const UserDefaults* s : {&store, &copy}) {
        EXPECT_EQ(s->boolean("flag.on"), true);
        EXPECT_EQ(s->boolean("flag.off"), false);
        EXPECT_EQ(s->boolean("flag.text"), std::nullopt);
        EXPECT_EQ(s->boolean("flag.number"), std::nullopt);
        EXPECT_EQ(s->boolean("flag.absent"), std::nullopt);
    }
}

TEST(UserDefaults, NumbersAreWrittenAndReadInTheCLocale)
{
    test::TemporaryHome home;
    test::ProcessLocale locale("de_DE.UTF-8");
    ASSERT_TRUE(locale.active()) << "de_DE.UTF-8 is not installed (scripts/install-deps makes it)";
    UserDefaults store = UserDefaults::standard();
    store.setNumber("n.tenth", 0.1);
    store.setNumber("n.big", -1.5e300);
    store.setString("n.comma", "1,5");
    store.setString("n.nan", "nan");
    store.setString("n.word", "abc");
    store.sync();
    EXPECT_TRUE(test::fileBytes(store.filePath()).contains("n.tenth=0.1"));
    UserDefaults copy = reopened(store, home.path() + "/copy.conf");
    for (const UserDefaults* s : {&store, &copy}) {
        EXPECT_EQ(s->number("n.tenth"), 0.1);
        EXPECT_EQ(s->number("n.big"), -1.5e300);
        EXPECT_EQ(s->number("n.comma"), std::nullopt);
        EXPECT_EQ(s->number("n.nan"), std::nullopt);
        EXPECT_EQ(s->number("n.word"), std::nullopt);
    }
}

TEST(UserDefaults, HandEditedListReadsAsOneText)
{
    test::TemporaryHome home;
    const QString path = home.path() + "/edited.conf";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nQuorel.Language=pt-BR\nCorvanta.Tab.v1=a, b\n");
    file.close();
    const UserDefaults store(path);
    EXPECT_EQ(store.string("Quorel.Language"), "pt-BR");
    EXPECT_EQ(store.string("Corvanta.Tab.v1"), "a, b");
}

TEST(UserDefaults, UnreadableValuesAreKeptAsideWithoutLosingAnEarlierOne)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    store.setString("Corvanta.Presets.Custom.v1", "[broken");
    store.setAsideUnreadable("Corvanta.Presets.Custom.v1");
    store.setAsideUnreadable("Corvanta.Presets.Custom.v1");  // same value: kept once
    store.setString("Corvanta.Presets.Custom.v1", "{also broken");
    store.setAsideUnreadable("Corvanta.Presets.Custom.v1");
    EXPECT_EQ(store.string("Corvanta.Presets.Custom.v1.unreadable"), "[broken");
    EXPECT_EQ(store.string("Corvanta.Presets.Custom.v1.unreadable2"), "{also broken");
    EXPECT_FALSE(store.contains("Corvanta.Presets.Custom.v1.unreadable3"));
}

TEST(UserDefaults, AWriteThatCannotReachTheFileSaysSo)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    EXPECT_TRUE(store.setString("Quorel.Language", "en"));
    QFile::remove(store.filePath());
    ASSERT_TRUE(QDir().mkpath(store.filePath()));  // a folder where the file belongs
    EXPECT_FALSE(store.setString("Quorel.Language", "pt-BR"));
    EXPECT_FALSE(store.setBoolean("Corvanta.System.Active.v1", true));
}

namespace {

// Every write of a file past a few bytes fails for this process while it lives, for root too,
// where folder permissions would not stop a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

}  // namespace

TEST(UserDefaults, AValueThatCouldNotBeWrittenIsNotKeptInMemory)
{
    test::TemporaryHome home;
    UserDefaults store = UserDefaults::standard();
    ASSERT_TRUE(store.setString("Quorel.Language", "en"));
    const QByteArray before = test::fileBytes(store.filePath());
    {
        FileSizeLimit limit(8);
        EXPECT_FALSE(store.setString("Quorel.Language", "pt-BR"));
        EXPECT_FALSE(store.setBoolean("Corvanta.System.Active.v1", true));
    }
    EXPECT_EQ(test::fileBytes(store.filePath()), before);
    // Neither a read in this process nor its next successful write brings the refused values back.
    EXPECT_EQ(store.string("Quorel.Language"), "en");
    EXPECT_FALSE(store.contains("Corvanta.System.Active.v1"));
    ASSERT_TRUE(store.setString("Quorel.Tab", "boost"));
    const UserDefaults copy = reopened(store, home.path() + "/copy.conf");
    EXPECT_EQ(copy.string("Quorel.Language"), "en");
    EXPECT_FALSE(copy.contains("Corvanta.System.Active.v1"));
    EXPECT_EQ(copy.string("Quorel.Tab"), "boost");
}

namespace {

// A store file written by hand, as a user or a broken editor leaves it.
UserDefaults handWritten(const test::TemporaryHome& home, const QByteArray& text)
{
    const QString path = home.path() + "/hand.conf";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    return UserDefaults(path);
}

}  // namespace

TEST(UserDefaults, ValuesQSettingsTakesForTypedOnesKeepTheirRawText)
{
    test::TemporaryHome home;
    const QByteArray list = R"([{"id": "custom.A", "name": "A"}, @oops])";
    const QByteArray variant = "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\tQJunk)";
    const UserDefaults store =
        handWritten(home, "[General]\nCorvanta.Presets.Custom.v1=" + list + "\nQuorel.Headphones.Custom.v1=" + variant
                              + "\nCorvanta.DSP.v2=@Invalid()\n");
    // Each reads as the text that stands in the file, never as nothing or as an empty text.
    EXPECT_EQ(store.string("Corvanta.Presets.Custom.v1"), QString::fromUtf8(list));
    EXPECT_EQ(store.string("Quorel.Headphones.Custom.v1"), QString::fromUtf8(variant));
    EXPECT_EQ(store.string("Corvanta.DSP.v2"), QStringLiteral("@Invalid()"));
}

TEST(UserDefaults, ARewriteKeepsTheRawTextOfATypedValueAside)
{
    test::TemporaryHome home;
    const QByteArray list = R"([{"id": "custom.A", "name": "A"}, @oops])";
    UserDefaults store =
        handWritten(home, "[General]\nCorvanta.Presets.Custom.v1=" + list + "\nCorvanta.DSP.v2=@Invalid()\n");
    // Kept aside explicitly, and again (once) when it is overwritten.
    store.setAsideUnreadable("Corvanta.Presets.Custom.v1");
    EXPECT_TRUE(store.setString("Corvanta.Presets.Custom.v1", "[]"));
    EXPECT_EQ(store.string("Corvanta.Presets.Custom.v1.unreadable"), QString::fromUtf8(list));
    EXPECT_FALSE(store.contains("Corvanta.Presets.Custom.v1.unreadable2"))
        << test::fileBytes(store.filePath()).constData();
    // Overwritten by a writer that never looked at it.
    EXPECT_TRUE(store.setString("Corvanta.DSP.v2", "{}"));
    EXPECT_EQ(store.string("Corvanta.DSP.v2.unreadable"), QStringLiteral("@Invalid()"));
    EXPECT_EQ(store.string("Corvanta.DSP.v2"), QStringLiteral("{}"));

    const UserDefaults again = reopened(store, home.path() + "/copy.conf");
    EXPECT_EQ(again.string("Corvanta.Presets.Custom.v1.unreadable"), QString::fromUtf8(list));
    EXPECT_EQ(again.string("Corvanta.DSP.v2.unreadable"), QStringLiteral("@Invalid()"));
}

TEST(UserDefaults, AStoreThatIsNotARegularFileIsNeverOpened)
{
    test::TemporaryHome home;
    const QString path = home.path() + "/fifo.conf";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const UserDefaults store(path);
    // Run where a blocked open can be released: if the store opened the FIFO, this test
    // opens its other end so that the read ends, and fails.
    auto reading = std::async(std::launch::async, [&] {
        return std::make_tuple(store.isUsable(), store.string("Quorel.Language"), store.contains("Quorel.Language"));
    });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        reading.wait();
        FAIL() << "reading the store waited on the FIFO";
    }
    const auto [usable, text, found] = reading.get();
    EXPECT_FALSE(usable);
    EXPECT_FALSE(text.has_value());
    EXPECT_FALSE(found);
    UserDefaults writable(path);
    EXPECT_FALSE(writable.setString("Quorel.Language", "en"));
    EXPECT_TRUE(UserDefaults(home.path() + "/not-yet.conf").isUsable());
}

// When the file can be written only part-way (the file size limit here; a full disk is the
// same), QSettings still puts the cut file in place and reports success. The store notices,
// keeps the settings the file held, and reports the failure.
TEST(UserDefaults, AWriteCutShortKeepsTheSettingsAndFails)
{
    test::TemporaryHome home;
    UserDefaults store(home.path() + "/store.conf");
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(store.setString(QStringLiteral("Quorel.Key%1").arg(i), QString(20, QChar(u'a' + i))));
    const QByteArray before = test::fileBytes(store.filePath());
    ASSERT_LT(before.size(), 512);

    const int code = test::exitCodeWithFileSizeLimit(512, [&] {
        UserDefaults child(store.filePath());
        const bool saved = child.setString("Quorel.Long", QString(2000, u'x'));
        return saved ? 1 : 0;
    });
    EXPECT_EQ(code, 0) << "a cut settings file was reported as saved";
    EXPECT_EQ(test::fileBytes(store.filePath()).toStdString(), before.toStdString());
    const UserDefaults fresh = reopened(store, home.path() + "/copy.conf");
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(fresh.string(QStringLiteral("Quorel.Key%1").arg(i)), QString(20, QChar(u'a' + i))) << i;
    EXPECT_FALSE(fresh.contains("Quorel.Long"));

    // A removal that cannot be written keeps the file as it was, too.
    const int removed = test::exitCodeWithFileSizeLimit(100, [&] {
        UserDefaults(store.filePath()).remove("Quorel.Key0");
        return 0;
    });
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(test::fileBytes(store.filePath()).toStdString(), before.toStdString());

    // Within the limit the same kind of write is saved.
    EXPECT_EQ(
        test::exitCodeWithFileSizeLimit(
            4096, [&] { return UserDefaults(store.filePath()).setString("Quorel.Long", QString(200, u'x')) ? 0 : 1; }),
        0);
    EXPECT_EQ(reopened(store, home.path() + "/copy2.conf").string("Quorel.Long"), QString(200, u'x'));
}

// Writes from two threads at once (the engine's worker stores the previous default output while
// the window stores a choice) are each saved and reported as saved: the check of what landed in
// the file never takes one thread's write for a cut file of the other.
TEST(UserDefaults, WritesFromTwoThreadsAreAllSaved)
{
    test::TemporaryHome home;
    const QString path = home.path() + "/store.conf";
    const auto writer = [&path](const QString& prefix) {
        int saved = 0;
        for (int i = 0; i < 40; ++i) saved += UserDefaults(path).setString(prefix + QString::number(i), "v") ? 1 : 0;
        return saved;
    };
    auto first = std::async(std::launch::async, writer, QStringLiteral("Quorel.A"));
    auto second = std::async(std::launch::async, writer, QStringLiteral("Quorel.B"));
    EXPECT_EQ(first.get(), 40);
    EXPECT_EQ(second.get(), 40);
    const UserDefaults fresh = reopened(UserDefaults(path), home.path() + "/copy.conf");
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(fresh.string(QStringLiteral("Quorel.A%1").arg(i)), "v") << i;
        EXPECT_EQ(fresh.string(QStringLiteral("Quorel.B%1").arg(i)), "v") << i;
    }
}

// One backslash lost inside a stored JSON value makes QSettings read on from that quote into the
// lines after it, without an error. The store notices that keys standing in the file were not
// read, keeps the whole file beside it, and reads every line on its own: no intact key is lost,
// neither to a read nor to the next write.
TEST(UserDefaults, ADamagedLineLosesNoOtherKeyAndTheWholeFileIsKeptBesideIt)
{
    test::TemporaryHome home;
    const QString path = home.path() + "/Quorel.conf";
    const std::vector<std::pair<QString, QString>> intact{
        {"Corvanta.System.Active.v1", "true"},
        {"Corvanta.Tab.v1", "equalizer"},
        {"Quorel.Headphones.Custom.v1", R"([{"id":"import.X","name":"Phones"}])"},
        {"Quorel.Language", "pt-BR"},
        {"Quorel.System.PreviousDefaultSink.v1", "alsa_output.pci-0000_00_1f.3.analog-stereo"},
    };
    {
        UserDefaults writer(path);
        ASSERT_TRUE(writer.setString("Corvanta.Presets.Custom.v1", R"([{"id":"custom.A","name":"A","boostDB":3}])"));
        for (const auto& [key, value] : intact) ASSERT_TRUE(writer.setString(key, value));
    }
    QByteArray damaged = test::fileBytes(path);
    const qsizetype at = damaged.indexOf(R"(\"name)");
    ASSERT_GT(at, 0);
    ASSERT_LT(at, damaged.indexOf("Corvanta.System.Active.v1"));  // inside the presets' line
    damaged.remove(at, 1);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
    }
    // What QSettings alone makes of it.
    {
        const QString copy = home.path() + "/plain.conf";
        ASSERT_TRUE(QFile::copy(path, copy));
        ASSERT_FALSE(QSettings(copy, QSettings::IniFormat).contains("Corvanta.Tab.v1"));
    }

    UserDefaults store(path);
    for (const auto& [key, value] : intact) EXPECT_EQ(store.string(key), value) << key.toStdString();
    EXPECT_TRUE(store.contains("Corvanta.Presets.Custom.v1"));
    const QStringList copies = QDir(home.path()).entryList({"Quorel.conf.damaged-*"}, QDir::Files);
    ASSERT_EQ(copies.size(), 1) << copies.join(", ").toStdString();
    EXPECT_EQ(test::fileBytes(home.path() + "/" + copies.first()), damaged);

    // The next write keeps them, and a later reader sees them all.
    ASSERT_TRUE(store.setString("Corvanta.Tab.v1", "boost"));
    const UserDefaults fresh = reopened(store, home.path() + "/copy.conf");
    EXPECT_EQ(fresh.string("Corvanta.Tab.v1"), "boost");
    for (const auto& [key, value] : intact) {
        if (key == "Corvanta.Tab.v1") continue;
        EXPECT_EQ(fresh.string(key), value) << key.toStdString();
    }
    EXPECT_EQ(QDir(home.path()).entryList({"Quorel.conf.damaged-*"}, QDir::Files).size(), 1);
}

// A value of the application's state that cannot be written (the file or its folder immutable,
// the folder unreachable) fails every time, says so every time, leaves the old file byte for
// byte, and is written with the next write that succeeds, with the rest of the state.
TEST(UserDefaults, SavedStateThatCouldNotBeWrittenGoesWithTheNextWriteThatSucceeds)
{
    test::TemporaryHome home;
    const QString folder = home.path() + "/Quorel";
    const QString path = folder + "/Quorel.conf";
    struct Blocker {
        const char* name;
        std::function<bool()> block;
        std::function<void()> unblock;
    };
    const std::vector<Blocker> blockers{
        {"immutable file", [&] { return test::setImmutable(path, true); }, [&] { test::setImmutable(path, false); }},
        {"immutable folder", [&] { return test::setImmutable(folder, true); },
         [&] { test::setImmutable(folder, false); }},
        // Works for root and on every file system: the folder cannot be reached.
        {"folder under a file",
         [&] { return QDir(folder).removeRecursively() && QFile(folder).open(QIODevice::WriteOnly); },
         [&] {
             QFile::remove(folder);
             QDir().mkpath(folder);
         }},
    };
    int tried = 0;
    for (const Blocker& blocker : blockers) {
        UserDefaults store(path);
        ASSERT_TRUE(store.setString("Quorel.Language", "en"));
        ASSERT_TRUE(store.save("Corvanta.Tab.v1", "boost"));
        const QByteArray before = test::fileBytes(path);
        if (!blocker.block()) continue;
        ++tried;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.save("Corvanta.DSP.v2", R"({"boostDB":7})")) << blocker.name;
        EXPECT_FALSE(store.save("Corvanta.Tab.v1", "equalizer")) << blocker.name;
        EXPECT_FALSE(store.save("Corvanta.OutputDeviceUID", std::nullopt)) << blocker.name;
        EXPECT_FALSE(store.save("Corvanta.DSP.v2", R"({"boostDB":8})")) << blocker.name;
        const QString errors = QString::fromStdString(testing::internal::GetCapturedStderr());
        EXPECT_EQ(errors.count("Could not save the settings file " + path + "."), 4) << errors.toStdString();
        EXPECT_TRUE(store.hasUnsavedChanges());
        blocker.unblock();
        if (QFileInfo::exists(path)) {
            EXPECT_EQ(test::fileBytes(path), before) << blocker.name;
        } else {  // the folder itself was taken away to block it
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(before);
        }

        // Any write that succeeds, here one that is no part of it, stores the whole state.
        ASSERT_TRUE(store.setString("Quorel.Language", "pt-BR")) << blocker.name;
        EXPECT_FALSE(store.hasUnsavedChanges());
        const UserDefaults fresh = reopened(store, home.path() + "/copy.conf");
        EXPECT_EQ(fresh.string("Corvanta.DSP.v2"), R"({"boostDB":8})") << blocker.name;
        EXPECT_EQ(fresh.string("Corvanta.Tab.v1"), "equalizer") << blocker.name;
        EXPECT_EQ(fresh.string("Quorel.Language"), "pt-BR") << blocker.name;
        ASSERT_TRUE(QFile::remove(path));
    }
    EXPECT_GE(tried, 1);
}
