#include "StoreLeftovers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>

namespace quorel::StoreLeftovers {

namespace {

// Older than this, a copy no live writer holds is a dead writer's (a write takes milliseconds).
constexpr qint64 leftoverAgeMs = 30 * 1000;

bool isLockFile(const QString& name)
{
    return name.endsWith(QStringLiteral(".lock")) || name.endsWith(QStringLiteral(".rmlock"));
}

}  // namespace

void remove(const QString& storePath)
{
    const QFileInfo store(storePath);
    const QDir folder = store.absoluteDir();
    const QString name = QRegularExpression::escape(store.fileName());
    // The copies QTemporaryFile names after ".<store>.XXXXXX", and every lock file named after
    // the store or one of them.
    const QRegularExpression copy(QStringLiteral("^\\.%1\\.[A-Za-z0-9]{6}$").arg(name));
    const QRegularExpression lock(QStringLiteral("^\\.?%1\\..*").arg(name));
    const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);

    for (const QString& entry : entries) {
        if (!isLockFile(entry) || !lock.match(entry).hasMatch()) continue;
        // Taken only when its owner is gone (or it has stood for longer than any write takes),
        // and removed by letting it go.
        QLockFile stale(folder.filePath(entry));
        stale.setStaleLockTime(int(leftoverAgeMs));
        if (stale.tryLock(0)) stale.unlock();
    }
    const QDateTime now = QDateTime::currentDateTime();
    for (const QString& entry : entries) {
        if (!copy.match(entry).hasMatch()) continue;
        const QString path = folder.filePath(entry);
        if (QFileInfo::exists(path + QStringLiteral(".lock"))) continue;  // a live writer's
        if (QFileInfo(path).lastModified().msecsTo(now) > leftoverAgeMs) QFile::remove(path);
    }
}

}  // namespace quorel::StoreLeftovers
