#pragma once

#include "LocalizedMessage.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorel {

// Reading files that come from the user (presets, AutoEq texts): only a regular file of at
// most `maximumSize` bytes holding valid UTF-8 is read; anything else throws an AudioFailure
// with a message that names the file.
// Writing files for the user (exports, images, logs): only a new path or a regular file is
// written; anything else (a FIFO, a device, a folder, or a link to one) is refused and left as
// it is, never opened (a FIFO without a reader would block the writer) nor replaced.
namespace UserFile {

inline constexpr qint64 maximumSize = 1024 * 1024;

// The decoded text of the file at `path` (a leading byte-order mark is dropped).
QString readText(const QString& path);

// Why nothing may be written at `path`: something other than a regular file stands there
// (a link is followed, as the write would follow it). None when the path is free or a regular
// file; a path that cannot be looked at is left to the write to report.
std::optional<LocalizedMessage> refusedTarget(const QString& path);

// Writes `bytes` to `path` through AtomicFile once refusedTarget() lets it. None on success,
// else the reason, in the language saved right now.
std::optional<QString> write(const QString& path, const QByteArray& bytes);

// File names are bytes, and not every name is UTF-8. A name decoded here keeps each byte that
// is not part of valid UTF-8 as the lone surrogate U+DC00 + byte, and `encodeName` gives the
// same bytes back, so a file whose name is not UTF-8 opens by its own name.
QString decodeName(const QByteArray& bytes);
QByteArray encodeName(const QString& name);

}  // namespace UserFile
}  // namespace quorel
