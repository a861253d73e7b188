#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace quorel {

// The open and save dialogs of preset files, behind one seam that tests replace.
namespace PresetFileDialogs {

// Several files ending ".quorelpreset" or ".json"; an empty list when cancelled.
using OpenFiles = std::function<QStringList(QWidget* parent)>;
// Where to write, proposing `fileName` (default suffix "quorelpreset"); none when cancelled.
using SaveFile = std::function<std::optional<QString>(QWidget* parent, const QString& fileName)>;

QStringList openFiles(QWidget* parent);
std::optional<QString> saveFile(QWidget* parent, const QString& fileName);

// Replaces the dialogs (none: the real ones again).
void setOverride(OpenFiles open, SaveFile save);

}  // namespace PresetFileDialogs

}  // namespace quorel
