#pragma once

#include "UserDefaults.h"

#include <QString>

class QFileDialog;

namespace quorel {

// Where the file dialogs open: the folder of the last file chosen in any of them, kept in the
// settings store under "Corvanta.FileDialogFolder.v1", else the user's documents, else home.
// A remembered folder that no longer exists is passed over. Main thread only.
namespace FileDialogFolder {

inline constexpr const char* key = "Corvanta.FileDialogFolder.v1";

QString start(const UserDefaults& store = UserDefaults::standard());
// Remembers the folder of `file` (a file chosen or to be written).
void remember(const QString& file, UserDefaults store = UserDefaults::standard());
// Opens `dialog` at start().
void apply(QFileDialog& dialog, const UserDefaults& store = UserDefaults::standard());

}  // namespace FileDialogFolder

}  // namespace quorel
