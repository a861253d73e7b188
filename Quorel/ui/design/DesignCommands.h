#pragma once

#include <QStringList>

#include <optional>

namespace quorel::DesignCommands {

// Whether the arguments ask for one of the commands below (they need a QApplication).
bool wanted(int argc, char** argv);
// "--check-controls" (the control self-check) and "--export-glyph PATH" (the brand glyph as a
// 144 x 144 PNG on a transparent ground); the exit status, or nothing when neither is given.
std::optional<int> run(const QStringList& arguments);
// Writes the glyph PNG; false on failure (the command stays silent about it).
bool exportGlyph(const QString& path);

}  // namespace quorel::DesignCommands
