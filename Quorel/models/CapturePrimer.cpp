#include "CapturePrimer.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

namespace quorel {

namespace {

void putU32(QByteArray& bytes, int offset, quint32 value) { qToLittleEndian(value, bytes.data() + offset); }
void putU16(QByteArray& bytes, int offset, quint16 value) { qToLittleEndian(value, bytes.data() + offset); }

}  // namespace

CapturePrimer::CapturePrimer() : CapturePrimer(Options{}) {}

CapturePrimer::CapturePrimer(Options options) : options_(std::move(options)) {}

CapturePrimer::~CapturePrimer()
{
    // A player still running is left to finish on its own; only our bookkeeping goes.
    if (running_) {
        running_->disconnect(this);
        running_->setParent(nullptr);
        QObject::connect(running_, &QProcess::finished, running_, &QObject::deleteLater);
    }
}

std::shared_ptr<CapturePrimer> CapturePrimer::shared()
{
    static const std::shared_ptr<CapturePrimer> primer = std::make_shared<CapturePrimer>();
    return primer;
}

QByteArray CapturePrimer::silence()
{
    QByteArray bytes(int(fileSize), '\0');
    bytes.replace(0, 4, "RIFF");
    putU32(bytes, 4, quint32(fileSize - 8));
    bytes.replace(8, 4, "WAVE");
    bytes.replace(12, 4, "fmt ");
    putU32(bytes, 16, 16);
    putU16(bytes, 20, 1);
    putU16(bytes, 22, 2);
    putU32(bytes, 24, 48000);
    putU32(bytes, 28, 192000);
    putU16(bytes, 32, 4);
    putU16(bytes, 34, 16);
    bytes.replace(36, 4, "data");
    putU32(bytes, 40, 96000);
    return bytes;
}

QString CapturePrimer::filePath() const
{
    QString directory;
    if (options_.directory) {
        directory = *options_.directory;
    } else {
        // The user's own runtime folder: in the shared temporary folder another user could
        // plant a file of the right size that would then play on this user's speakers.
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        directory = runtime.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(runtime);
    }
    return QDir(directory).filePath(QString::fromLatin1(fileName));
}

std::optional<QString> CapturePrimer::player() const
{
    if (options_.player) {
        const QFileInfo file(*options_.player);
        if (file.isFile() && file.isExecutable()) return file.absoluteFilePath();
        return std::nullopt;
    }
    const QString found = QStandardPaths::findExecutable(QStringLiteral("pw-play"));
    if (found.isEmpty()) return std::nullopt;
    return found;
}

std::optional<QString> CapturePrimer::silentFile() const
{
    const QString path = filePath();
    const QFileInfo info(path);
    if (info.isFile() && info.size() == fileSize) return path;
    if (AtomicFile::write(path, silence())) return std::nullopt;
    return path;
}

void CapturePrimer::kick()
{
    ++kicks_;
    if (running_) return;
    const std::optional<QString> program = player();
    if (!program) return;
    const std::optional<QString> file = silentFile();
    if (!file) return;
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    running_ = process;
    auto ended = [this, process] {
        if (running_ != process) return;
        running_ = nullptr;
        process->deleteLater();
        emit finished();
    };
    connect(process, &QProcess::finished, this, ended);
    connect(process, &QProcess::errorOccurred, this, [ended](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) ended();
    });
    ++launches_;
    process->start(*program, {*file});
}

}  // namespace quorel
