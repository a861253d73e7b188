#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quorel {

// Writing a file the user keeps (settings, exported presets, images): the bytes go to a
// temporary file beside `path`, unbuffered, so every failed write is seen at once (a buffered
// write that fails only when flushed would still be renamed into place, a cut file over the
// old one); the file is synced and renamed over `path` only when all of it was written.
// On any failure the old file stays as it was.
namespace AtomicFile {

// None on success, else the operating system's reason.
std::optional<QString> write(const QString& path, const QByteArray& bytes);

}  // namespace AtomicFile
}  // namespace quorel
