#include "DSPSettings.h"
#include "OfflineRenderer.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using quorel::test::ToolRun;

ToolRun runTool(const QTemporaryDir& dir, const QStringList& args)
{
    return quorel::test::runTool(QStringList{"render"} + args, dir.path());
}

void writeWav(const QString& path, int rate, int channels, int frames, int format)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(size_t(frames) * size_t(channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[size_t(i * channels + c)] = 0.25f * std::sin(0.0571f * float(i) * float(c + 1));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

TEST(RenderTool, RendersA16BitMonoFileToFloatStereo)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav"), out = dir.filePath("out.wav");
    writeWav(in, 44100, 1, 10000, SF_FORMAT_PCM_16);
    const ToolRun run =
        runTool(dir, {"--in", in, "--out", out, "--analyse", "--tail", "0.01", "--settings", R"({"boostDB": 3})"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json["sampleRate"].toDouble(), 44100);
    EXPECT_EQ(json["channels"].toInt(), 1);
    EXPECT_EQ(json["inputFrames"].toInt(), 10000);
    const double latency = json["reportedLatency"].toDouble();
    EXPECT_EQ(json["latencyFrames"].toInt(), std::llround(latency * 44100));
    EXPECT_EQ(json["outputFrames"].toInt(), 10000 + int(std::ceil(44100 * (0.01 + latency))));
    EXPECT_GT(json["peak"].toDouble(), 0.2);
    EXPECT_GT(json["rms"].toDouble(), 0.1);
    EXPECT_EQ(json["guardedSamples"].toInt(-1), 0);
    EXPECT_EQ(json["invalidSamples"].toInt(-1), 0);
    const QJsonObject meter = json["meter"].toObject();
    for (const char* key :
         {"inputPeakDB", "outputPeakDB", "outputRMSDB", "limiterReductionDB", "guardedSamples", "invalidSamples",
          "levelerLoudnessLUFS", "levelerGainDB", "levelerMeasuring", "driveActivity"})
        EXPECT_TRUE(meter.contains(key)) << key;
    EXPECT_EQ(json["spectrum"].toObject()["input"].toArray().size(), 31);
    EXPECT_EQ(json["spectrum"].toObject()["output"].toArray().size(), 31);

    SF_INFO info{};
    SNDFILE* f = sf_open(out.toUtf8().constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    sf_close(f);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(info.frames, json["outputFrames"].toInt());
}

// quorel-tool keeps standard output for its JSON: the diagnostic lines asked for in the
// environment go to standard error, and its usage says so.
TEST(RenderTool, DiagnosticLinesGoToStandardErrorAndTheJsonStaysAlone)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav"), out = dir.filePath("out.wav");
    writeWav(in, 48000, 2, 4800, SF_FORMAT_FLOAT);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", dir.path());
    environment.insert("QUOREL_LATENCY_DEBUG", "1");
    environment.insert("QUOREL_SPECTRUM_DEBUG", "1");
    const ToolRun run = quorel::test::runTool({"render", "--in", in, "--out", out, "--analyse"}, environment);
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    QJsonParseError error{};
    EXPECT_TRUE(QJsonDocument::fromJson(run.out, &error).isObject()) << run.out.constData();
    EXPECT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_TRUE(run.errors().contains(QStringLiteral("latency ms · bass "))) << run.err.constData();
    EXPECT_TRUE(run.errors().contains(QStringLiteral("analyser input: bands=31 "))) << run.err.constData();

    const ToolRun help = quorel::test::runTool({"--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    const QString usage = QString::fromUtf8(help.out).simplified();
    EXPECT_TRUE(usage.contains(QStringLiteral("QUOREL_SPECTRUM_DEBUG=1 go to standard error"))) << help.out.constData();
    EXPECT_TRUE(usage.contains(QStringLiteral("QUOREL_LATENCY_DEBUG=1"))) << help.out.constData();
}

// A file several reading steps long is read, rendered and written a piece at a time: the file
// written is the render of the whole signal, and its levels are those of the whole output.
TEST(RenderTool, ALongFileRendersAsTheWholeSignal)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav"), out = dir.filePath("out.wav");
    const int frames = 3 * 65536 + 777;
    writeWav(in, 48000, 2, frames, SF_FORMAT_FLOAT);
    const ToolRun run = runTool(dir, {"--in", in, "--out", out, "--settings", R"({"boostDB": 4, "driveAmount": 0.4})"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json["inputFrames"].toInt(), frames);

    std::vector<std::vector<float>> input(2, std::vector<float>(size_t(frames)));
    SF_INFO info{};
    SNDFILE* f = sf_open(in.toUtf8().constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> interleaved(size_t(frames) * 2);
    sf_readf_float(f, interleaved.data(), frames);
    sf_close(f);
    for (size_t i = 0; i < size_t(frames); ++i)
        for (size_t c = 0; c < 2; ++c) input[c][i] = interleaved[2 * i + c];
    quorel::DSPSettings settings;
    settings.boostDB = 4;
    settings.driveAmount = 0.4f;
    const quorel::RenderResult whole =
        quorel::OfflineRenderer::render(std::move(input), 48000, settings, true, std::nullopt, false, 0);

    info = {};
    f = sf_open(out.toUtf8().constData(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(size_t(info.frames), whole.channels[0].size());
    interleaved.assign(size_t(info.frames) * 2, 0);
    sf_readf_float(f, interleaved.data(), info.frames);
    sf_close(f);
    size_t differing = 0;
    for (size_t i = 0; i < whole.channels[0].size(); ++i)
        for (size_t c = 0; c < 2; ++c) differing += interleaved[2 * i + c] != whole.channels[c][i];
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(json["outputFrames"].toInt(), int(info.frames));
    EXPECT_EQ(json["peak"].toDouble(), double(whole.peak()));
    EXPECT_NEAR(json["rms"].toDouble(), whole.rms(), 1e-12);
}

TEST(RenderTool, ChunkedRenderKeepsTheInputLength)
{
    QTemporaryDir dir;
    const QString in = dir.filePath("in.wav"), out = dir.filePath("out.wav");
    writeWav(in, 48000, 1, 3000, SF_FORMAT_PCM_24);
    const ToolRun run = runTool(dir, {"--in", in, "--out", out, "--chunk", "512"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject json = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(json["outputFrames"].toInt(), 3000);
    EXPECT_EQ(json["channels"].toInt(), 1);
}

TEST(RenderTool, FailuresLeaveNoOutputAndSayWhy)
{
    QTemporaryDir dir;
    const QString three = dir.filePath("three.wav"), slow = dir.filePath("slow.wav");
    const QString out = dir.filePath("out.wav");
    writeWav(three, 48000, 3, 1000, SF_FORMAT_FLOAT);
    writeWav(slow, 7999, 1, 1000, SF_FORMAT_PCM_32);
    const QString unsupported = "Unsupported format: use mono or stereo audio between 8 and 192 kHz.";
    for (const QString& in : {three, slow}) {
        const ToolRun run = runTool(dir, {"--in", in, "--out", out});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(unsupported)) << run.err.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
    const QString mono = dir.filePath("mono.wav");
    writeWav(mono, 48000, 1, 1000, SF_FORMAT_PCM_16);
    // Null is not a number: not in the bands, nor in a filter of the headphone profile.
    const QString bandsWithANull =
        QStringLiteral(R"({"boostDB": 6, "bands": [%1null]})").arg(QStringLiteral("0, ").repeated(30));
    const QString filterWithoutFrequency = QStringLiteral(
        R"({"headphoneProfile": {"id": "x", "name": "y", "filters": [{"kind": "peak", "frequency": null, "gainDB": 3, "q": 1}]}})");
    for (const QStringList& extra :
         {QStringList{"--chunk", "256", "--tail", "1"}, QStringList{"--chunk", "256", "--analyse"},
          QStringList{"--settings", "{not json"}, QStringList{"--settings", R"({"boostDB": "loud"})"},
          QStringList{"--settings", bandsWithANull}, QStringList{"--settings", filterWithoutFrequency},
          QStringList{"--settings", "[1]"}, QStringList{"--switch-at", "-3"}, QStringList{"--bogus"}}) {
        const ToolRun run = runTool(dir, QStringList{"--in", mono, "--out", out} + extra);
        EXPECT_EQ(run.exitCode, 1) << extra.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_FALSE(QFile::exists(out));
    }
}

}  // namespace
