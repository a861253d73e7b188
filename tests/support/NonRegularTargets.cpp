#include "NonRegularTargets.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorel::test {

NonRegularTargets::NonRegularTargets(const QString& folder)
    : fifo_(QDir(folder).filePath("fifo")), device_(QDir(folder).filePath("device")),
      link_(QDir(folder).filePath("link-to-device"))
{
    const QByteArray fifo = QFile::encodeName(fifo_);
    const QByteArray device = QFile::encodeName(device_);
    EXPECT_EQ(::mkfifo(fifo.constData(), 0600), 0) << std::strerror(errno);
    fifoReader_ = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fifoReader_, 0) << std::strerror(errno);
    if (::mknod(device.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        // Not allowed to make devices: a socket is another kind that is no regular file.
        socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        EXPECT_LT(size_t(device.size()), sizeof address.sun_path);
        std::strncpy(address.sun_path, device.constData(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    }
    EXPECT_EQ(::symlink(device.constData(), QFile::encodeName(link_).constData()), 0) << std::strerror(errno);
    for (const QString& path : all()) {
        struct stat status {};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
        made_.push_back({path, status.st_ino, status.st_mode});
    }
}

NonRegularTargets::~NonRegularTargets()
{
    if (fifoReader_ >= 0) ::close(fifoReader_);
    if (socket_ >= 0) ::close(socket_);
}

QString NonRegularTargets::changes() const
{
    QString changed;
    for (const Made& made : made_) {
        struct stat status {};
        if (::lstat(QFile::encodeName(made.path).constData(), &status) != 0)
            changed += made.path + " is gone; ";
        else if (status.st_ino != made.inode || status.st_mode != made.mode)
            changed += made.path + " was replaced; ";
    }
    if (QFile::symLinkTarget(link_) != device_) changed += link_ + " no longer leads to the device; ";
    char byte = 0;
    if (fifoReader_ >= 0 && ::read(fifoReader_, &byte, 1) > 0) changed += fifo_ + " received bytes; ";
    return changed;
}

}  // namespace quorel::test
