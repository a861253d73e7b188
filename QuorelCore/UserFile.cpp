#include "UserFile.h"

#include "AtomicFile.h"
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

[[noreturn]] void refuse(const LocalizedMessage& message) { throw AudioFailure::localized(message); }

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
    const QByteArray native = encodeName(path);
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

std::optional<LocalizedMessage> refusedTarget(const QString& path)
{
    struct stat status {};
    if (::stat(encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode)) return std::nullopt;
    return LocalizedMessage::make("The file {0} is not a regular file.", path);
}

std::optional<QString> write(const QString& path, const QByteArray& bytes)
{
    if (const std::optional<LocalizedMessage> refused = refusedTarget(path)) return refused->text();
    return AtomicFile::write(path, bytes);
}

}  // namespace quorel::UserFile

namespace quorel::UserFile {

namespace {

// The length of the valid UTF-8 sequence at `i`, or 0 when the byte there does not start one
// (overlong forms, surrogates and values beyond U+10FFFF are not valid).
qsizetype validSequence(const QByteArray& bytes, qsizetype i, char32_t& decoded)
{
    const auto at = [&](qsizetype k) { return uchar(bytes[k]); };
    const uchar lead = at(i);
    if (lead < 0x80) {
        decoded = lead;
        return 1;
    }
    qsizetype length = 0;
    char32_t value = 0, minimum = 0;
    if ((lead & 0xE0) == 0xC0)
        length = 2, value = lead & 0x1F, minimum = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, value = lead & 0x0F, minimum = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, value = lead & 0x07, minimum = 0x10000;
    else
        return 0;
    if (i + length > bytes.size()) return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (at(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    decoded = value;
    return length;
}

}  // namespace

QString decodeName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t value = 0;
        const qsizetype length = validSequence(bytes, i, value);
        if (length == 0) {
            name.append(QChar(char16_t(0xDC00 + uchar(bytes[i]))));
            ++i;
            continue;
        }
        name.append(QString::fromUcs4(&value, 1));
        i += length;
    }
    return name;
}

QByteArray encodeName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    const auto flush = [&](qsizetype end) { bytes += QStringView(name).sliced(runStart, end - runStart).toUtf8(); };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        const bool pairedLow = i > 0 && name[i - 1].isHighSurrogate();
        if (u >= 0xDC80 && u <= 0xDCFF && !pairedLow) {
            flush(i);
            bytes.append(char(u - 0xDC00));
            runStart = i + 1;
        }
    }
    flush(name.size());
    return bytes;
}

}  // namespace quorel::UserFile
