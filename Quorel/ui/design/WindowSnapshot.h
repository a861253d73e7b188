#pragma once

#include <QString>

#include <cstdio>

namespace quorel {

// A PNG of the application's main window (the window WindowChrome styles) while it is visible;
// no other window, ever. Written through AtomicFile, so a reader never sees half a file. Outcomes go to
// standard output ("snapshot: PATH") or standard error (no window, write error).
namespace WindowSnapshot {
// Returns whether a file was written.
bool save(const QString& path);
bool save(const QString& path, std::FILE* out, std::FILE* err);
}  // namespace WindowSnapshot

}  // namespace quorel
