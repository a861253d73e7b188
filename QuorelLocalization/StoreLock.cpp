#include "StoreLock.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <chrono>

namespace quorel {

namespace {

// How long an update waits for the store's locks; a live writer holds them for milliseconds.
constexpr std::chrono::seconds lockWait{2};

std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

}  // namespace

StoreLock::StoreLock(const QString& storePath)
    : threads_(storeMutex()), processes_(storePath + QStringLiteral(".update-lock"))
{
    // Another thread of this process holds the store only as long as its own update, which
    // waits for these locks no longer than this one does.
    const QDeadlineTimer deadline(lockWait);
    QDir().mkpath(QFileInfo(storePath).absolutePath());  // as QSettings does on its first write
    if (!processes_.tryLock(int(deadline.remainingTime()))) return;
    // QSettings waits for its lock without end; it is taken here once, within the time left,
    // and let go at once. Every writer of the store holds the update lock first, so nobody but
    // a writer's QSettings, which lets go within milliseconds, takes it in between.
    QLockFile settingsLock(storePath + QStringLiteral(".lock"));
    if (!settingsLock.tryLock(int(deadline.remainingTime()))) return;
    settingsLock.unlock();
    locked_ = true;
}

}  // namespace quorel
