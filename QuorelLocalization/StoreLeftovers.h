#pragma once

#include <QString>

namespace quorel {

// A writer of the settings store killed in the middle of a write leaves its files beside the
// store: the copy it makes the change on first (".<store>.XXXXXX") and the lock files it or its
// QSettings held ("... .lock", "... .rmlock"). They are removed at the next update, under the
// store's update lock: a lock file only when QLockFile finds its owner gone, a copy only when
// it is older than half a minute and no live writer holds its lock.
namespace StoreLeftovers {

void remove(const QString& storePath);

}  // namespace StoreLeftovers
}  // namespace quorel
