#include "NonRegularTargets.h"
#include "RawToolRun.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorel;
using test::RawToolRun;
using test::runToolRaw;

namespace {

class ToolInputTest : public ::testing::Test {
protected:
    // A path in the test's folder, as bytes (the name may be any bytes but '/' and NUL).
    QByteArray path(const QByteArray& name) const { return QFile::encodeName(dir.path()) + '/' + name; }

    // A signal of `frames` frames in the given file format.
    static bool writeSound(const QByteArray& file, int format, int rate, int channels, sf_count_t frames)
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        if (!sf_format_check(&info)) return false;
        SNDFILE* f = sf_open(file.constData(), SFM_WRITE, &info);
        if (!f) return false;
        std::vector<float> block(size_t(4096 * channels));
        for (sf_count_t done = 0; done < frames;) {
            const sf_count_t n = std::min<sf_count_t>(4096, frames - done);
            for (sf_count_t i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    block[size_t(i * channels + c)] = 0.25f * std::sin(0.0571f * float(done + i) * float(c + 1));
            sf_writef_float(f, block.data(), n);
            done += n;
        }
        return sf_close(f) == 0;
    }

    static bool writeBytes(const QByteArray& file, const QByteArray& bytes)
    {
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) return false;
        const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
        return ::close(fd) == 0 && ok;
    }

    static bool exists(const QByteArray& file)
    {
        struct stat status {};
        return ::stat(file.constData(), &status) == 0;
    }

    RawToolRun tool(const std::vector<QByteArray>& arguments, int timeoutSeconds = 60) const
    {
        return runToolRaw(arguments, home.configHome(), timeoutSeconds);
    }

    test::TemporaryHome home;
    QTemporaryDir dir;
};

QJsonObject json(const RawToolRun& run) { return QJsonDocument::fromJson(run.out).object(); }

}  // namespace

TEST_F(ToolInputTest, RenderRefusesATailItCannotRender)
{
    const QByteArray in = path("in.wav"), out = path("out.wav");
    ASSERT_TRUE(writeSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 2000));
    // 1e6 s would be 4.8e10 frames; 1e20 and 1e300 overflow any frame count.
    for (const char* tail : {"1e6", "1e20", "1e300"}) {
        SCOPED_TRACE(tail);
        const RawToolRun run = tool({"render", "--in", in, "--out", out, "--tail", tail});
        EXPECT_EQ(run.exitCode, 1) << run.out.constData();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains("seconds cannot be rendered.")) << run.err.constData();
        EXPECT_FALSE(run.err.contains("bad_alloc"));
        EXPECT_FALSE(exists(out));
    }
    for (const char* tail : {"nan", "inf"}) {
        const RawToolRun run = tool({"render", "--in", in, "--out", out, "--tail", tail});
        EXPECT_EQ(run.exitCode, 1) << tail;
        EXPECT_TRUE(run.err.contains("--tail")) << run.err.constData();
    }
    // A long but renderable tail still renders.
    const RawToolRun run = tool({"render", "--in", in, "--out", out, "--tail", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_GE(json(run)["outputFrames"].toInteger(), 2000 + 96000);
}

TEST_F(ToolInputTest, RenderReadsToTheRealEndWhateverTheHeaderClaims)
{
    const QByteArray in = path("claims.flac"), out = path("out.wav");
    if (!writeSound(in, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 2519))
        GTEST_SKIP() << "libsndfile writes no FLAC here";
    QFile file(QFile::decodeName(in));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    // STREAMINFO: after "fLaC" and the block header, 10 bytes of block and frame sizes, then
    // 20 bits of rate, 3 of channels, 5 of sample size and 36 of total samples. Claim 2^36 - 1.
    ASSERT_TRUE(bytes.startsWith("fLaC"));
    bytes[21] = char(uchar(bytes[21]) | 0x0F);
    for (int i = 22; i < 26; ++i) bytes[i] = char(0xFF);
    ASSERT_TRUE(file.seek(0));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    SF_INFO info{};
    SNDFILE* f = sf_open(in.constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_close(f);
    ASSERT_GT(info.frames, sf_count_t(1) << 35) << "the header does not claim the long length";

    const RawToolRun run = tool({"render", "--in", in, "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(json(run)["inputFrames"].toInteger(), 2519);
    // Nothing near the claimed length was ever held.
    EXPECT_LT(run.peakKiB, 1024 * 1024);
}

TEST_F(ToolInputTest, RenderRefusesAFileThatBreaksOffOrLosesItsWay)
{
    const QByteArray whole = path("whole.flac");
    if (!writeSound(whole, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 48000))
        GTEST_SKIP() << "libsndfile writes no FLAC here";
    QFile file(QFile::decodeName(whole));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GT(bytes.size(), 20000);

    QByteArray damaged = bytes;  // a few bytes overwritten in the middle of the audio
    for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 8; ++i) damaged[i] = char(0xFF);
    const QByteArray cut = bytes.left(bytes.size() / 2);  // a download that broke off
    for (const auto& [name, content] : {std::pair{QByteArray("damaged.flac"), damaged}, {"cut.flac", cut}}) {
        const QByteArray in = path(name), out = path(name + ".wav");
        ASSERT_TRUE(writeBytes(in, content));
        const RawToolRun run = tool({"render", "--in", in, "--out", out});
        EXPECT_EQ(run.exitCode, 1) << name.constData() << " rendered in part: " << run.out.constData();
        EXPECT_TRUE(run.err.contains("Could not read")) << run.err.constData();
        EXPECT_FALSE(exists(out)) << name.constData();
    }
}

TEST_F(ToolInputTest, RenderHoldsTheInputAndTheOutputOnce)
{
    const QByteArray shortIn = path("short.wav"), longIn = path("long.wav"), out = path("out.wav");
    constexpr int rate = 48000;
    constexpr sf_count_t frames = sf_count_t(60) * rate;
    ASSERT_TRUE(writeSound(shortIn, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, 4800));
    ASSERT_TRUE(writeSound(longIn, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, frames));
    const RawToolRun base = tool({"render", "--in", shortIn, "--out", out});
    ASSERT_EQ(base.exitCode, 0) << base.err.constData();
    const RawToolRun run = tool({"render", "--in", longIn, "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    ASSERT_EQ(json(run)["inputFrames"].toInteger(), frames);
    // One whole stereo copy of the file; input and output make two, and a third is the most
    // that the small working buffers and the allocator's slack may add.
    const double copyKiB = double(frames) * 2 * sizeof(float) / 1024;
    const double extra = double(run.peakKiB - base.peakKiB) / copyKiB;
    EXPECT_LT(extra, 3.0) << "the render held " << extra << " copies of the file";
}

TEST_F(ToolInputTest, SettingsArgumentIsStrictAndNamesTheKey)
{
    const QByteArray in = path("in.wav"), out = path("out.wav");
    ASSERT_TRUE(writeSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 1000));
    const struct {
        QByteArray settings;
        QByteArray says;
    } cases[] = {
        {R"({"boostdb":12})", "\"boostdb\""},
        {R"({"bands":[6]})", "\"bands\""},
        {R"({"bands":[1,2,3,4,5,6,7,8,9,10,11]})", "\"bands\""},
        {R"({"bands":"flat"})", "\"bands\""},
        {R"({"headphoneProfile":[]})", "\"headphoneProfile\""},
        {R"({"headphoneProfile":{"name":"no id"}})", "\"headphoneProfile\""},
        {R"({"boostDB":"loud"})", "boostDB"},
        {path("missing-settings.json"), "does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.constData());
        const RawToolRun run = tool({"render", "--in", in, "--out", out, "--settings", c.settings});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.constData();
        EXPECT_FALSE(exists(out));
    }
    // What the record knows still passes, the older ten bands included.
    const QByteArray settingsFile = path("settings.json");
    ASSERT_TRUE(
        writeBytes(settingsFile, R"({"boostDB": 3, "bands": [1,2,3,4,5,6,7,8,9,10], "headphoneProfile": null})"));
    for (const QByteArray& settings : {QByteArray(R"({"boostDB": 3, "levelerStrength": 0.5})"), settingsFile}) {
        const RawToolRun run = tool({"render", "--in", in, "--out", out, "--settings", settings});
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    }
}

// capture and system share their arguments' reading: every fault is told before any audio is
// touched, with the command's usage when the arguments themselves are wrong.
TEST_F(ToolInputTest, CaptureAndSystemTellWhatIsWrongWithTheirArguments)
{
    const struct {
        QByteArray command;
        QByteArray usage;
    } commands[] = {
        {"capture", "usage: quorel-tool capture --seconds N [--settings FILE|JSON] [--output UID] [--unprocessed]\n"},
        {"system", "usage: quorel-tool system --seconds N [--output UID] [--preview] [--no-prime]\n"},
    };
    for (const auto& c : commands) {
        const struct {
            std::vector<QByteArray> arguments;
            QByteArray says;
        } cases[] = {
            {{"--bogus", "--seconds", "1"}, c.usage},          // an unknown option
            {{"--seconds", "1", "-x"}, c.usage},               // one of one dash
            {{"--seconds", "1", "--help"}, c.usage},           // no usage of its own
            {{"--seconds", "1", "extra"}, c.usage},            // an argument no option takes
            {{"--seconds"}, c.usage},                          // a missing value
            {{"--seconds", "1", "--output"}, c.usage},         // a missing value
            {{"--seconds", "1", "--unprocessed=1"}, c.usage},  // a value no option takes
            {{}, c.command + " needs --seconds N\n"},          // the required option
            {{"--output", "speakers"}, c.command + " needs --seconds N\n"},
            {{"--seconds", "0"}, "--seconds needs a positive number of seconds\n"},
            {{"--seconds", "nan"}, "--seconds needs a positive number of seconds\n"},
            {{"--seconds", "-1"}, "--seconds needs a positive number of seconds\n"},  // a value, not an option
        };
        for (const auto& k : cases) {
            std::vector<QByteArray> arguments{c.command};
            arguments.insert(arguments.end(), k.arguments.begin(), k.arguments.end());
            SCOPED_TRACE(QByteArrayList(arguments.begin(), arguments.end()).join(' ').toStdString());
            const RawToolRun run = tool(arguments);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
            EXPECT_EQ(run.err.toStdString(), k.says.toStdString());
        }
    }
    const RawToolRun settings = tool({"capture", "--seconds", "1", "--settings", R"({"boostDB":"loud"})"});
    EXPECT_EQ(settings.exitCode, 1);
    EXPECT_TRUE(settings.err.contains("boostDB")) << settings.err.constData();
    // Each value given is checked, not only the last (the settings after it make sure nothing
    // runs if it were not).
    const RawToolRun twice =
        tool({"capture", "--seconds", "abc", "--seconds", "2", "--settings", R"({"boostDB":"loud"})"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.err.toStdString(), "--seconds needs a positive number of seconds\n");
}

// The other commands with options tell an unknown option and a missing value each in its own
// words, before anything runs.
TEST_F(ToolInputTest, CommandsTellAnUnknownOptionAndAMissingValue)
{
    const QByteArray in = path("in.wav"), out = path("out.wav");
    ASSERT_TRUE(writeSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 480));
    const QByteArray blindTest = "usage: quorel-tool blind-test --seed N --answers A,B,-,...\n";
    const QByteArray feed = "usage: quorel-tool feed FILE [--public-key BASE64]\n";
    const QByteArray feedSign = "usage: quorel-tool feed-sign --key PRIVATE.pem FILE\n";
    const QByteArray catalogGenerate = "usage: quorel-tool catalog-generate FOLDER --out FILE\n";
    const QByteArray presetExport = "usage: quorel-tool preset-export ID --out FILE\n";
    const struct {
        std::vector<QByteArray> arguments;
        QByteArray says;
    } cases[] = {
        {{"volume", "--bogus", "x"}, "Unknown option: --bogus\n"},
        {{"volume", "--set", "0.5", "--bogus"}, "Unknown option: --bogus\n"},  // not a missing value
        {{"volume", "--help"}, "Unknown option: --help\n"},
        {{"volume", "--set=x"}, "--set needs a number from 0 to 1, not \"x\"\n"},  // the value after =
        {{"volume", "--set"}, "--set needs a value\n"},
        {{"volume", "--output", "x", "--mute"}, "--mute needs a value\n"},
        {{"render", "--in", in, "--out", out, "--bogus"}, "Unknown option: --bogus\n"},
        {{"render", "--in", in, "--out", out, "--analyse=1"}, "Unknown option: --analyse=1\n"},
        {{"render", "--in", in, "--out", out, "extra"}, "Unknown option: extra\n"},
        {{"render", "--in", in, "--out"}, "--out needs a value.\n"},
        {{"render", "--in", in, "--out", out, "--chunk"}, "--chunk needs a value.\n"},
        {{"blind-test", "--seed", "1", "--answers", "A", "--bogus", "x"}, blindTest},
        {{"blind-test", "--seed", "1", "--answers"}, blindTest},
        {{"feed", "feed.json", "--bogus"}, feed},
        {{"feed", "feed.json", "--public-key"}, feed},
        {{"feed-sign", "--key", "key.pem", "feed.json", "--bogus"}, feedSign},
        {{"feed-sign", "feed.json", "--key"}, feedSign},
        {{"catalog-generate", "folder", "--out", "x.json", "--bogus"}, catalogGenerate},
        {{"catalog-generate", "folder", "--out"}, catalogGenerate},
        {{"preset-export", "builtin.neutral", "--out", "x.json", "--bogus"}, presetExport},
        {{"preset-export", "builtin.neutral", "--out"}, presetExport},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QByteArrayList(c.arguments.begin(), c.arguments.end()).join(' ').toStdString());
        const RawToolRun run = tool(c.arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
        EXPECT_EQ(run.err.toStdString(), c.says.toStdString());
    }
    EXPECT_FALSE(exists(out));
}

TEST_F(ToolInputTest, FilesWhoseNamesAreNotUtf8OpenByTheirBytes)
{
    const QByteArray in = path("in-\xff\xfe.wav"), out = path("out-\xe9.wav");
    ASSERT_TRUE(writeSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, 1000));
    const RawToolRun render = tool({"render", "--in", in, "--out", out});
    EXPECT_EQ(render.exitCode, 0) << render.err.constData();
    EXPECT_TRUE(exists(out));

    const QByteArray autoEq = path("Acme \xff H1 ParametricEQ.txt");
    ASSERT_TRUE(writeBytes(autoEq, "Preamp: -3 dB\nFilter 1: ON PK Fc 100 Hz Gain 2 dB Q 1\n"));
    const RawToolRun parsed = tool({"autoeq", autoEq});
    EXPECT_EQ(parsed.exitCode, 0) << parsed.err.constData();
    const RawToolRun imported = tool({"headphone-import", autoEq});
    EXPECT_EQ(imported.exitCode, 0) << imported.err.constData();

    const QByteArray preset = path("Night \xff.quorelpreset");
    ASSERT_TRUE(writeBytes(preset, R"({"id": "custom.x", "name": "Night", "bands": []})"));
    const RawToolRun presetRun = tool({"preset-import", preset});
    EXPECT_EQ(presetRun.exitCode, 0) << presetRun.err.constData();
    EXPECT_EQ(json(presetRun)["name"].toString(), QStringLiteral("Night"));

    // QTemporaryDir cannot remove names that are not UTF-8.
    for (const QByteArray& file : {in, out, autoEq, preset}) ::unlink(file.constData());
}

TEST_F(ToolInputTest, AStoreThatIsNotARegularFileIsRefusedNotWaitedFor)
{
    const QString folder = home.configHome() + QStringLiteral("/Quorel");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray store = QFile::encodeName(folder + QStringLiteral("/Quorel.conf"));
    ASSERT_EQ(::mkfifo(store.constData(), 0600), 0);

    const QByteArray preset = path("Night.quorelpreset");
    ASSERT_TRUE(writeBytes(preset, R"({"id": "custom.x", "name": "Night", "bands": []})"));
    const RawToolRun import = tool({"preset-import", preset}, 20);
    ASSERT_TRUE(import.finished) << "blocked on the store";
    EXPECT_EQ(import.exitCode, 1);
    EXPECT_TRUE(import.err.contains("Could not save the settings file")) << import.err.constData();
    EXPECT_TRUE(import.err.contains("is not a regular file")) << import.err.constData();
}

// A render or a catalog written onto a FIFO, a device or a link to one is refused, and what
// stands there is left as it is (not replaced by a regular file, not written into).
TEST_F(ToolInputTest, OutputsOntoAFifoOrADeviceAreRefused)
{
    const QByteArray in = path("in.wav");
    ASSERT_TRUE(writeSound(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, 2000));
    const QByteArray sources = path("catalog");
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(sources) + "/over-ear"));
    ASSERT_TRUE(writeBytes(sources + "/SOURCES.md", "| Acme H1 | over-ear | test |\n"));
    ASSERT_TRUE(writeBytes(sources + "/over-ear/Acme H1 ParametricEQ.txt",
                           "Preamp: -3 dB\nFilter 1: ON PK Fc 100 Hz Gain 2 dB Q 1\n"));
    ASSERT_EQ(tool({"catalog-generate", sources, "--out", path("catalog.json")}).exitCode, 0);

    test::NonRegularTargets targets(dir.path());
    for (const QString& target : targets.all()) {
        const QByteArray out = QFile::encodeName(target);
        const RawToolRun render = tool({"render", "--in", in, "--out", out}, 20);
        ASSERT_TRUE(render.finished) << out.constData();
        EXPECT_EQ(render.exitCode, 1) << out.constData();
        EXPECT_TRUE(render.err.contains("The file " + out + " is not a regular file.")) << render.err.constData();
        const RawToolRun catalog = tool({"catalog-generate", sources, "--out", out}, 20);
        ASSERT_TRUE(catalog.finished) << out.constData();
        EXPECT_EQ(catalog.exitCode, 1) << out.constData();
        EXPECT_TRUE(catalog.err.contains("The file " + out + " is not a regular file.")) << catalog.err.constData();
    }
    EXPECT_EQ(targets.changes(), QString());
    EXPECT_FALSE(exists(path("fifo.partial")));
}
