#include "UserFile.h"

#include "AudioFailure.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorel::UserFile {

namespace {

[[noreturn]] void refuse(const LocalizedMessage& message)
{
    throw AudioFailure::localized(message);
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

QString readText(const QString& path)
{
    // Non-blocking, so that a FIFO without a writer is refused instead of hanging the caller.
    const QString name = QFileInfo(path).fileName();
    const QByteArray native = QFile::encodeName(path);
    Descriptor file{::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0) {
        if (errno == ENXIO) refuse(LocalizedMessage::make("The file {0} is not a regular file.", name));
        refuse(LocalizedMessage::make("Could not read the file {0}.", name));
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) refuse(LocalizedMessage::make("Could not read the file {0}.", name));
    if (!S_ISREG(status.st_mode)) refuse(LocalizedMessage::make("The file {0} is not a regular file.", name));
    if (status.st_size > maximumSize) refuse(LocalizedMessage::make("The file {0} is larger than 1 MiB.", name));

    // Read one byte past the limit, so a file that grew after fstat is still caught.
    QByteArray bytes(maximumSize + 1, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(file.fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) refuse(LocalizedMessage::make("Could not read the file {0}.", name));
        if (got == 0) break;
        filled += got;
    }
    if (filled > maximumSize) refuse(LocalizedMessage::make("The file {0} is larger than 1 MiB.", name));
    bytes.truncate(filled);

    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) refuse(LocalizedMessage::make("The file {0} is not UTF-8 text.", name));
    return text;
}

}  // namespace quorel::UserFile
