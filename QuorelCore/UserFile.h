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

// File names are bytes, and not every name is UTF-8. A name decoded here keeps each byte that
// is not part of valid UTF-8 as the lone surrogate U+DC00 + byte, and `encodeName` gives the
// same bytes back, so a file whose name is not UTF-8 opens by its own name.
QString decodeName(const QByteArray& bytes);
QByteArray encodeName(const QString& name);

}  // namespace UserFile
}  // namespace quorel
