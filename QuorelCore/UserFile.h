#pragma once

#include <QString>

namespace quorel {

// Reading files that come from the user (presets, AutoEq texts): only a regular file of at
// most `maximumSize` bytes holding valid UTF-8 is read; anything else throws an AudioFailure
// with a message that names the file.
namespace UserFile {

inline constexpr qint64 maximumSize = 1024 * 1024;

// The decoded text of the file at `path` (a leading byte-order mark is dropped).
QString readText(const QString& path);

}  // namespace UserFile
}  // namespace quorel
