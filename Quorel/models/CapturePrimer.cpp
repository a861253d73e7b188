#include "CapturePrimer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorel {

namespace {

void putU32(QByteArray& bytes, int offset, quint32 value) { qToLittleEndian(value, bytes.data() + offset); }
void putU16(QByteArray& bytes, int offset, quint16 value) { qToLittleEndian(value, bytes.data() + offset); }

// Whether `path` is a regular file of this user (never a link) of `size` bytes.
bool isOwnFile(const QByteArray& path, qint64 size)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::getuid()
           && status.st_size == size;
}

// Puts `bytes` at `path` without ever following a link: into a new file made beside it
// (O_EXCL, O_NOFOLLOW), which then replaces whatever stood at the path, a link itself included.
bool writeWithoutLinks(const QByteArray& path, const QByteArray& bytes)
{
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0) break;
        written += n;
    }
    const bool ok =
        ::close(fd) == 0 && written == bytes.size() && ::rename(temporary.constData(), path.constData()) == 0;
    if (!ok) ::unlink(temporary.constData());
    return ok;
}

}  // namespace

CapturePrimer::CapturePrimer() : CapturePrimer(Options{}) {}

CapturePrimer::CapturePrimer(Options options) : options_(std::move(options)) {}

CapturePrimer::~CapturePrimer()
{
    // The folder of our own goes with the primer (a player still running has its file open).
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

QString CapturePrimer::privateDirectory() const
{
    if (!privateDirectory_) {
        privateDirectory_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/quorel-XXXXXX"));
        if (!privateDirectory_->isValid()) {
            privateDirectory_.reset();
            return {};
        }
    }
    return privateDirectory_->path();
}

QString CapturePrimer::filePath() const
{
    // Never the shared temporary folder itself: another user could plant a file of the right
    // size there that would play on this user's speakers, or a link that we would write through.
    // The user's own runtime folder, else a folder of our own (mkdtemp makes it mode 0700).
    QString directory;
    if (options_.directory) {
        directory = *options_.directory;
    } else {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        directory = runtime.isEmpty() ? privateDirectory() : QString::fromLocal8Bit(runtime);
        if (directory.isEmpty()) return {};
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
    if (path.isEmpty()) return std::nullopt;
    const QByteArray name = QFile::encodeName(path);
    if (isOwnFile(name, fileSize)) return path;
    if (!writeWithoutLinks(name, silence())) return std::nullopt;
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
