// quorel-tool render: pushes a WAV file through the processing chain and writes the result.

#include "AudioFailure.h"
#include "CommandArguments.h"
#include "L10n.h"
#include "LocalizedMessage.h"
#include "OfflineRenderer.h"
#include "SettingsArgument.h"
#include "MeterJson.h"
#include "Subcommand.h"
#include "UserFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace quorel::tool {
namespace {

struct Options {
    QString in, out;
    DSPSettings settings;
    bool unprocessed = false;
    std::optional<int64_t> switchAt;
    bool analyse = false;
    double tail = 0;
    bool hasTail = false;
    std::optional<uint32_t> chunk;
};

Options parse(const QStringList& args)
{
    CommandArguments arguments(
        {QCommandLineOption("in", QString(), "IN.wav"), QCommandLineOption("out", QString(), "OUT.wav"),
         QCommandLineOption("settings", QString(), "FILE|JSON"), QCommandLineOption("unprocessed"),
         QCommandLineOption("analyse"), QCommandLineOption("switch-at", QString(), "FRAMES"),
         QCommandLineOption("tail", QString(), "SECONDS"), QCommandLineOption("chunk", QString(), "FRAMES")},
        {QStringLiteral("Unknown option: %1"), QStringLiteral("%1 needs a value.")});
    if (const std::optional<QString> fault = arguments.read(args)) throw std::runtime_error(fault->toStdString());
    const auto invalid = [](const char* option, const QString& value) {
        return std::runtime_error(QStringLiteral("Invalid value for --%1: %2").arg(option, value).toStdString());
    };
    Options o;
    o.in = arguments.value("in");
    o.out = arguments.value("out");
    for (const QString& value : arguments.values("settings")) o.settings = settingsArgument(value);
    o.unprocessed = arguments.isSet("unprocessed");
    o.analyse = arguments.isSet("analyse");
    for (const QString& value : arguments.values("switch-at")) {
        bool ok = false;
        const qlonglong v = value.toLongLong(&ok);
        if (!ok || v < 0) throw invalid("switch-at", value);
        o.switchAt = v;
    }
    for (const QString& value : arguments.values("tail")) {
        bool ok = false;
        o.tail = value.toDouble(&ok);
        if (!ok || !std::isfinite(o.tail)) throw invalid("tail", value);
        o.hasTail = true;
    }
    for (const QString& value : arguments.values("chunk")) {
        bool ok = false;
        const qulonglong v = value.toULongLong(&ok);
        if (!ok || v < 1 || v > 4096) throw invalid("chunk", value);
        o.chunk = uint32_t(v);
    }
    if (o.in.isEmpty() || o.out.isEmpty()) throw std::runtime_error("--in and --out are required.");
    if (o.chunk && (o.unprocessed || o.switchAt || o.analyse || o.hasTail))
        throw std::runtime_error("--chunk renders through the real-time path, which takes no --unprocessed, "
                                 "--switch-at, --analyse or --tail.");
    return o;
}

// Closes the sound file on every path.
struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// Frames read and written per step.
constexpr sf_count_t step = 65536;
// The longest input a render takes.
constexpr uint64_t maximumFrames = (uint64_t(1) << 32) - 1;

QString nameOf(const QString& path) { return QFileInfo(path).fileName(); }

// A WAV file read a piece at a time, checked before anything is read.
class InputFile {
public:
    explicit InputFile(const QString& path) : path_(path)
    {
        const QByteArray native = UserFile::encodeName(path);
        struct stat status {};
        if (::stat(native.constData(), &status) != 0)
            throw std::runtime_error(QStringLiteral("The file %1 does not exist.").arg(path).toStdString());
        if (!S_ISREG(status.st_mode))
            throw std::runtime_error(QStringLiteral("The file %1 is not a regular file.").arg(path).toStdString());
        SF_INFO format{};
        file_.reset(sf_open(native.constData(), SFM_READ, &format));
        if (!file_)
            throw std::runtime_error(QStringLiteral("Could not read %1: %2")
                                         .arg(path, QString::fromUtf8(sf_strerror(nullptr)))
                                         .toStdString());
        // The chain takes mono or stereo between 8 and 192 kHz; say so before reading anything.
        if (format.channels < 1 || format.channels > 2 || format.samplerate < 8000 || format.samplerate > 192000)
            throw AudioFailure::localized(
                LocalizedMessage("Unsupported format: use mono or stereo audio between 8 and 192 kHz."));
        channels_ = size_t(format.channels);
        sampleRate_ = format.samplerate;
        // The header's frame count is only a hint: it is believed no further than the file's
        // size allows for uncompressed audio of at least 8 bits.
        const uint64_t plausible = uint64_t(status.st_size) / channels_ + 1;
        hint_ = std::min({uint64_t(std::max<sf_count_t>(format.frames, 0)), plausible, maximumFrames});
        interleaved_.resize(size_t(step) * channels_);
    }

    size_t channels() const { return channels_; }
    double sampleRate() const { return sampleRate_; }
    uint64_t framesHint() const { return hint_; }
    uint64_t framesRead() const { return read_; }

    // Appends up to one step of frames to `into` (one vector per channel); 0 at the real end.
    // A damaged or cut-off stream reports its error with the frames read before it: the file
    // is refused, not rendered in part.
    size_t read(std::vector<std::vector<float>>& into)
    {
        into.resize(channels_);
        const sf_count_t got = sf_readf_float(file_.get(), interleaved_.data(), step);
        if (sf_error(file_.get()) != SF_ERR_NO_ERROR)
            throw std::runtime_error(QStringLiteral("Could not read %1: %2")
                                         .arg(path_, QString::fromUtf8(sf_strerror(file_.get())))
                                         .toStdString());
        if (got <= 0) return 0;
        if (read_ + uint64_t(got) > maximumFrames)
            throw std::runtime_error(
                QStringLiteral("The file %1 is too long to render.").arg(nameOf(path_)).toStdString());
        read_ += uint64_t(got);
        for (size_t c = 0; c < channels_; ++c) {
            std::vector<float>& channel = into[c];
            const size_t at = channel.size();
            channel.resize(at + size_t(got));
            float* out = channel.data() + at;
            const float* in = interleaved_.data() + c;
            for (sf_count_t f = 0; f < got; ++f) out[f] = in[size_t(f) * channels_];
        }
        return size_t(got);
    }

private:
    QString path_;
    SoundFile file_;
    size_t channels_ = 0;
    double sampleRate_ = 0;
    uint64_t hint_ = 0;
    uint64_t read_ = 0;
    std::vector<float> interleaved_;
};

// The whole file, for the renders that take it at once.
std::vector<std::vector<float>> readWhole(InputFile& input, const QString& path)
{
    std::vector<std::vector<float>> channels(input.channels());
    try {
        for (auto& c : channels) c.reserve(size_t(input.framesHint()));
        while (input.read(channels) > 0) {}
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(
            QStringLiteral("Not enough memory to read the file %1.").arg(nameOf(path)).toStdString());
    }
    return channels;
}

// 32-bit float stereo written next to the destination a piece at a time, then moved into place
// by `commit`; a file not committed is removed, so a failure never loses the old one.
class OutputFile {
public:
    OutputFile(const QString& path, double sampleRate)
        : path_(path), temporary_(UserFile::encodeName(path + QStringLiteral(".partial")))
    {
        if (const std::optional<LocalizedMessage> refused = UserFile::refusedTarget(path))
            throw AudioFailure::localized(*refused);
        SF_INFO format{};
        format.samplerate = int(sampleRate);
        format.channels = 2;
        format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        file_.reset(sf_open(temporary_.constData(), SFM_WRITE, &format));
        if (!file_)
            throw std::runtime_error(QStringLiteral("Could not write %1: %2")
                                         .arg(path, QString::fromUtf8(sf_strerror(nullptr)))
                                         .toStdString());
        interleaved_.resize(size_t(step) * 2);
    }
    ~OutputFile()
    {
        if (!file_) return;
        file_.reset();
        ::unlink(temporary_.constData());
    }

    void write(const float* left, const float* right, size_t frames)
    {
        for (size_t at = 0; at < frames; at += size_t(step)) {
            const size_t n = std::min(frames - at, size_t(step));
            for (size_t f = 0; f < n; ++f) {
                interleaved_[2 * f] = left[at + f];
                interleaved_[2 * f + 1] = right[at + f];
            }
            if (sf_writef_float(file_.get(), interleaved_.data(), sf_count_t(n)) != sf_count_t(n))
                throw std::runtime_error(QStringLiteral("Could not write %1.").arg(path_).toStdString());
        }
        levels_.add(left, frames);
        levels_.add(right, frames);
        frames_ += frames;
    }

    // rename(2) replaces an existing file atomically.
    void commit()
    {
        const int closed = sf_close(file_.release());
        if (closed != 0 || std::rename(temporary_.constData(), UserFile::encodeName(path_).constData()) != 0) {
            ::unlink(temporary_.constData());
            throw std::runtime_error(QStringLiteral("Could not write %1.").arg(path_).toStdString());
        }
    }

    uint64_t frames() const { return frames_; }
    const LevelSum& levels() const { return levels_; }

private:
    QString path_;
    QByteArray temporary_;
    SoundFile file_;
    std::vector<float> interleaved_;
    LevelSum levels_;
    uint64_t frames_ = 0;
};

QJsonArray floats(const std::vector<float>& values)
{
    QJsonArray a;
    for (float v : values) a.append(double(v));
    return a;
}

int runRender(const QStringList& args)
{
    try {
        const Options o = parse(args);
        InputFile input(o.in);
        const double sampleRate = input.sampleRate();
        RenderResult r;
        std::optional<OutputFile> output;
        if (o.chunk) {
            std::vector<std::vector<float>> channels = readWhole(input, o.in);
            if (channels.size() == 1) channels.push_back(channels[0]);
            r = OfflineRenderer::renderThroughInputNode(std::move(channels), sampleRate, o.settings, *o.chunk);
            output.emplace(o.out, sampleRate);
            output->write(r.channels[0].data(), r.channels[1].data(), r.channels[0].size());
        } else {
            // Read, rendered and written a piece at a time: a long file is never held whole.
            output.emplace(o.out, sampleRate);
            r = OfflineRenderer::renderStream([&input](std::vector<std::vector<float>>& next) { input.read(next); },
                                              [&output](const float* left, const float* right, uint32_t frames) {
                                                  output->write(left, right, frames);
                                              },
                                              sampleRate, uint32_t(input.channels()), o.settings, !o.unprocessed,
                                              o.switchAt, o.analyse, o.tail);
        }
        output->commit();
        QJsonObject json{
            {"sampleRate", sampleRate},
            {"channels", qint64(input.channels())},
            {"inputFrames", qint64(input.framesRead())},
            {"outputFrames", qint64(output->frames())},
            {"reportedLatency", r.reportedLatency},
            {"latencyFrames", qint64(std::round(r.reportedLatency * sampleRate))},
            {"peak", double(output->levels().peak)},
            {"rms", output->levels().rms()},
            {"guardedSamples", qint64(r.guardedSamples)},
            {"invalidSamples", qint64(r.invalidSamples)},
            {"meter", meterJson(r.meter)},
        };
        if (r.spectrum)
            json.insert("spectrum",
                        QJsonObject{{"input", floats(r.spectrum->input)}, {"output", floats(r.spectrum->output)}});
        printJson(json);
        return 0;
    } catch (const DescribedError& e) {
        return fail(e.description());
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Not enough memory to render this file."));
    } catch (const std::exception& e) {
        return fail(QString::fromUtf8(e.what()));
    }
}

const Registration reg{{"render",
                        "render --in IN.wav --out OUT.wav [--settings FILE|JSON] [--unprocessed] "
                        "[--switch-at FRAMES] [--analyse] [--tail SECONDS] [--chunk FRAMES]",
                        &runRender}};

}  // namespace
}  // namespace quorel::tool
