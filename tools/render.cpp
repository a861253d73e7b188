// quorel-tool render: pushes a WAV file through the processing chain and writes the result.

#include "AudioFailure.h"
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

struct Signal {
    double sampleRate = 0;
    std::vector<std::vector<float>> channels;
};

QString valueOf(const QStringList& args, int& i)
{
    if (i + 1 >= args.size())
        throw std::runtime_error(QStringLiteral("%1 needs a value.").arg(args[i]).toStdString());
    return args[++i];
}

Options parse(const QStringList& args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == "--in") o.in = valueOf(args, i);
        else if (a == "--out") o.out = valueOf(args, i);
        else if (a == "--settings") o.settings = settingsArgument(valueOf(args, i));
        else if (a == "--unprocessed") o.unprocessed = true;
        else if (a == "--analyse") o.analyse = true;
        else if (a == "--switch-at") {
            const qlonglong v = valueOf(args, i).toLongLong(&ok);
            ok = ok && v >= 0;
            o.switchAt = v;
        } else if (a == "--tail") {
            o.tail = valueOf(args, i).toDouble(&ok);
            ok = ok && std::isfinite(o.tail);
            o.hasTail = true;
        } else if (a == "--chunk") {
            const qulonglong v = valueOf(args, i).toULongLong(&ok);
            ok = ok && v >= 1 && v <= 4096;
            o.chunk = uint32_t(v);
        } else
            throw std::runtime_error(QStringLiteral("Unknown option: %1").arg(a).toStdString());
        if (!ok)
            throw std::runtime_error(
                QStringLiteral("Invalid value for %1: %2").arg(a, args[i]).toStdString());
    }
    if (o.in.isEmpty() || o.out.isEmpty()) throw std::runtime_error("--in and --out are required.");
    if (o.chunk && (o.unprocessed || o.switchAt || o.analyse || o.hasTail))
        throw std::runtime_error(
            "--chunk renders through the real-time path, which takes no --unprocessed, "
            "--switch-at, --analyse or --tail.");
    return o;
}

// Closes the sound file on every path.
struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

// Frames read and written per step: the whole file is never held twice.
constexpr sf_count_t step = 65536;
// The longest input a render takes.
constexpr uint64_t maximumFrames = (uint64_t(1) << 32) - 1;

QString nameOf(const QString& path) { return QFileInfo(path).fileName(); }

Signal readWav(const QString& path)
{
    const QByteArray native = UserFile::encodeName(path);
    struct stat status {};
    if (::stat(native.constData(), &status) != 0)
        throw std::runtime_error(QStringLiteral("The file %1 does not exist.").arg(path).toStdString());
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(QStringLiteral("The file %1 is not a regular file.").arg(path).toStdString());
    SF_INFO format{};
    const SoundFile file(sf_open(native.constData(), SFM_READ, &format));
    if (!file)
        throw std::runtime_error(QStringLiteral("Could not read %1: %2")
                                     .arg(path, QString::fromUtf8(sf_strerror(nullptr)))
                                     .toStdString());
    // The chain takes mono or stereo between 8 and 192 kHz; say so before reading anything.
    if (format.channels < 1 || format.channels > 2 || format.samplerate < 8000
        || format.samplerate > 192000)
        throw AudioFailure::localized(
            LocalizedMessage("Unsupported format: use mono or stereo audio between 8 and 192 kHz."));
    const size_t channels = size_t(format.channels);
    Signal s;
    s.sampleRate = format.samplerate;
    s.channels.assign(channels, {});
    // The header's frame count is only a hint: it is believed no further than the file's size
    // allows for uncompressed audio of at least 8 bits, and reading goes on to the real end.
    const uint64_t plausible = uint64_t(status.st_size) / channels + 1;
    const uint64_t hint = std::min({uint64_t(std::max<sf_count_t>(format.frames, 0)), plausible, maximumFrames});
    std::vector<float> interleaved(size_t(step) * channels);
    try {
        for (auto& c : s.channels) c.reserve(size_t(hint));
        for (;;) {
            const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), step);
            // A damaged or cut-off stream reports its error with the frames read before it, and
            // the next read clears it: the file is refused, not rendered in part.
            if (sf_error(file.get()) != SF_ERR_NO_ERROR) break;
            if (read <= 0) break;
            if (s.channels[0].size() + uint64_t(read) > maximumFrames)
                throw std::runtime_error(
                    QStringLiteral("The file %1 is too long to render.").arg(nameOf(path)).toStdString());
            for (size_t c = 0; c < channels; ++c) {
                std::vector<float>& channel = s.channels[c];
                const size_t at = channel.size();
                channel.resize(at + size_t(read));
                float* out = channel.data() + at;
                const float* in = interleaved.data() + c;
                for (sf_count_t f = 0; f < read; ++f) out[f] = in[size_t(f) * channels];
            }
        }
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(
            QStringLiteral("Not enough memory to read the file %1.").arg(nameOf(path)).toStdString());
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw std::runtime_error(QStringLiteral("Could not read %1: %2")
                                     .arg(path, QString::fromUtf8(sf_strerror(file.get())))
                                     .toStdString());
    return s;
}

// Writes 32-bit float stereo next to the destination, then moves it into place.
void writeWav(const QString& path, double sampleRate, const std::vector<std::vector<float>>& channels)
{
    const QString temporary = path + QStringLiteral(".partial");
    const QByteArray nativeTemporary = UserFile::encodeName(temporary);
    SF_INFO format{};
    format.samplerate = int(sampleRate);
    format.channels = 2;
    format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SoundFile file(sf_open(nativeTemporary.constData(), SFM_WRITE, &format));
    if (!file)
        throw std::runtime_error(QStringLiteral("Could not write %1: %2")
                                     .arg(path, QString::fromUtf8(sf_strerror(nullptr)))
                                     .toStdString());
    const size_t frames = channels[0].size();
    std::vector<float> interleaved(size_t(step) * 2);
    bool written = true;
    for (size_t at = 0; at < frames && written; at += size_t(step)) {
        const size_t n = std::min(frames - at, size_t(step));
        for (size_t f = 0; f < n; ++f) {
            interleaved[2 * f] = channels[0][at + f];
            interleaved[2 * f + 1] = channels[1][at + f];
        }
        written = sf_writef_float(file.get(), interleaved.data(), sf_count_t(n)) == sf_count_t(n);
    }
    const int closed = sf_close(file.release());
    // rename(2) replaces an existing file atomically, so a failure never loses the old one.
    if (!written || closed != 0
        || std::rename(nativeTemporary.constData(), UserFile::encodeName(path).constData()) != 0) {
        ::unlink(nativeTemporary.constData());
        throw std::runtime_error(QStringLiteral("Could not write %1.").arg(path).toStdString());
    }
}

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
        Signal s = readWav(o.in);
        const size_t inputChannels = s.channels.size();
        const size_t inputFrames = s.channels.empty() ? 0 : s.channels[0].size();
        RenderResult r;
        if (o.chunk) {
            if (s.channels.size() == 1) s.channels.push_back(s.channels[0]);
            r = OfflineRenderer::renderThroughInputNode(std::move(s.channels), s.sampleRate, o.settings, *o.chunk);
        } else {
            r = OfflineRenderer::render(std::move(s.channels), s.sampleRate, o.settings, !o.unprocessed,
                                        o.switchAt, o.analyse, o.tail);
        }
        writeWav(o.out, s.sampleRate, r.channels);
        QJsonObject json{
            {"sampleRate", s.sampleRate},
            {"channels", qint64(inputChannels)},
            {"inputFrames", qint64(inputFrames)},
            {"outputFrames", qint64(r.channels[0].size())},
            {"reportedLatency", r.reportedLatency},
            {"latencyFrames", qint64(std::round(r.reportedLatency * s.sampleRate))},
            {"peak", double(r.peak())},
            {"rms", r.rms()},
            {"guardedSamples", qint64(r.guardedSamples)},
            {"invalidSamples", qint64(r.invalidSamples)},
            {"meter", meterJson(r.meter)},
        };
        if (r.spectrum)
            json.insert("spectrum", QJsonObject{{"input", floats(r.spectrum->input)},
                                                {"output", floats(r.spectrum->output)}});
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
