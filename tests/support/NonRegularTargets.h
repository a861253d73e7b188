#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <vector>

namespace quorel::test {

// Things that are not regular files, made in a folder, to point a writer at: a FIFO, a
// character device (the null device's numbers; a UNIX socket where this user may not make
// devices) and a link to that device. The FIFO's read end is held open without blocking, so a
// writer that opens it does not wait for a reader, and what it wrote can be seen. Nothing here is
// ever written to.
class NonRegularTargets {
public:
    explicit NonRegularTargets(const QString& folder);
    ~NonRegularTargets();
    NonRegularTargets(const NonRegularTargets&) = delete;
    NonRegularTargets& operator=(const NonRegularTargets&) = delete;

    QString fifo() const { return fifo_; }
    QString device() const { return device_; }
    QString linkToDevice() const { return link_; }
    QStringList all() const { return {fifo_, device_, link_}; }

    // Empty while each target is what was made (same kind, same inode, the link still a link to
    // the device) and the FIFO received no byte; else what changed.
    QString changes() const;

private:
    struct Made {
        QString path;
        ino_t inode;
        mode_t mode;
    };
    QString fifo_, device_, link_;
    std::vector<Made> made_;
    int fifoReader_ = -1;
    int socket_ = -1;
};

}  // namespace quorel::test
