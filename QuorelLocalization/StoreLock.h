#pragma once

#include <QLockFile>
#include <QString>

#include <mutex>

namespace quorel {

// One update of the settings store at a time, among the threads of this process and among
// processes: the file read back must be the one this update made. It holds "<store>.update-lock"
// for its lifetime and makes sure the lock QSettings itself takes while it writes
// ("<store>.lock") can be had. A lock that cannot be had within a few seconds (a folder in its
// place, a writer that never lets go) is given up: isLocked() is false and the update must fail,
// as one of an unwritable store does, instead of waiting for ever.
class StoreLock {
public:
    explicit StoreLock(const QString& storePath);
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool isLocked() const { return locked_; }

private:
    std::lock_guard<std::mutex> threads_;
    QLockFile processes_;
    bool locked_ = false;
};

}  // namespace quorel
