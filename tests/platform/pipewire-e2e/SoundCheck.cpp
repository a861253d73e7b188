#include "SoundCheck.h"

#include "HeadlessServer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <sndfile.h>

#include <csignal>

#include <algorithm>
#include <cmath>

namespace quorel::test {

bool SoundCheck::writeTone(const QString& path, double seconds, double dBFS, int channel)
{
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_WRITE, &info);
    if (!file) return false;
    const double amplitude = std::pow(10.0, dBFS / 20.0);
    const auto frames = static_cast<size_t>(seconds * 48000);
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const float v = float(amplitude * std::sin(2 * M_PI * 1000.0 * double(i) / 48000.0));
        samples[2 * i] = channel == 1 ? 0.0f : v;
        samples[2 * i + 1] = channel == 0 ? 0.0f : v;
    }
    const bool ok = sf_writef_float(file, samples.data(), sf_count_t(frames)) == sf_count_t(frames);
    sf_close(file);
    return ok;
}

std::vector<double> SoundCheck::blockLevels(const QString& path, double blockMS, int channel)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.toUtf8().constData(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    const auto block = std::max<size_t>(1, size_t(info.samplerate * blockMS / 1000.0));
    std::vector<double> levels;
    for (size_t start = 0; start + block <= size_t(info.frames); start += block) {
        double sum = 0;
        for (size_t i = start; i < start + block; ++i) {
            const double v = samples[i * size_t(info.channels) + size_t(std::min(channel, info.channels - 1))];
            sum += v * v;
        }
        const double rms = std::sqrt(sum / double(block));
        levels.push_back(rms > 0 ? 20 * std::log10(rms) : -200.0);
    }
    return levels;
}

double SoundCheck::medianLevel(const std::vector<double>& levels, size_t from, size_t to)
{
    to = std::min(to, levels.size());
    if (from >= to) return -200;
    std::vector<double> part(levels.begin() + long(from), levels.begin() + long(to));
    std::nth_element(part.begin(), part.begin() + long(part.size() / 2), part.end());
    return part[part.size() / 2];
}

std::vector<size_t> SoundCheck::blocksLost(const std::vector<double>& tested, double expected,
                                           const std::vector<double>& reference, double referenceLevel, size_t from,
                                           size_t to, double tolerance, size_t* excused)
{
    std::vector<size_t> lost;
    *excused = 0;
    to = std::min({to, tested.size(), reference.size()});
    for (size_t i = from; i < to; ++i) {
        if (std::fabs(tested[i] - expected) <= tolerance) continue;
        if (std::fabs(reference[i] - referenceLevel) <= tolerance)
            lost.push_back(i);
        else
            ++*excused;
    }
    return lost;
}

double SoundCheck::stalledSeconds(const QString& speaker, qint64 pid, const QString& folder)
{
    const QString heard = folder + "/heard.wav";
    QProcess recorder;
    recorder.start("pw-record", {"-P", "{ stream.capture.sink=true }", "--target", speaker, heard});
    if (!recorder.waitForStarted()) return -1;
    // From the recording's first sound on (a WAV header is 44 bytes): a recorder that a busy
    // machine starts late has not missed what played before it.
    QElapsedTimer wall;
    for (int i = 0; i < 500 && QFileInfo(heard).size() <= 4096; ++i) QThread::msleep(10);
    wall.start();
    QThread::msleep(1000);
    const bool stopped = ::kill(pid_t(pid), SIGSTOP) == 0;
    if (stopped) {
        QThread::msleep(3000);
        ::kill(pid_t(pid), SIGCONT);
    }
    QThread::msleep(1000);
    recorder.terminate();
    recorder.waitForFinished(5000);
    if (!stopped) return -1;
    const double elapsed = double(wall.elapsed()) / 1000;
    // 10 ms blocks of what was recorded, from its first sound.
    size_t playing = 0, first = 0;
    const std::vector<double> levels = blockLevels(heard, 10);
    while (first < levels.size() && levels[first] <= -40) ++first;
    for (size_t i = first; i < levels.size(); ++i) playing += levels[i] > -40 ? 1 : 0;
    // The wall clock starts a cycle after the recording did: never below nothing.
    return std::max(0.0, elapsed - double(playing) / 100);
}

double SoundCheck::heardLevel(const QString& speaker, const QString& folder)
{
    const QString heard = folder + "/heard.wav";
    QProcess recorder;
    recorder.start("parecord", {"--latency-msec=20", "--device=" + speaker + ".monitor", "--file-format=wav", heard});
    if (!recorder.waitForStarted()) return std::nan("");
    QThread::msleep(1500);
    recorder.terminate();
    if (!recorder.waitForFinished(5000)) return std::nan("");
    const std::vector<double> levels = blockLevels(heard, 20);
    if (levels.size() <= 20) return std::nan("");
    return medianLevel(levels, 5, levels.size() - 5);
}

QString SoundCheck::nodeState(const QString& name)
{
    const QJsonArray objects = QJsonDocument::fromJson(run("pw-dump", {}).toUtf8()).array();
    for (const QJsonValue& object : objects) {
        const QJsonObject info = object["info"].toObject();
        if (info["props"].toObject()["node.name"].toString() == name) return info["state"].toString();
    }
    return {};
}

}  // namespace quorel::test
