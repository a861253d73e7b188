#include "PresetFileDialogs.h"

#include "FileDialogFolder.h"
#include "L10n.h"

#include <QFileDialog>

namespace quorel::PresetFileDialogs {

namespace {

OpenFiles& openOverride()
{
    static OpenFiles open;
    return open;
}

SaveFile& saveOverride()
{
    static SaveFile save;
    return save;
}

}  // namespace

void setOverride(OpenFiles open, SaveFile save)
{
    openOverride() = std::move(open);
    saveOverride() = std::move(save);
}

QStringList openFiles(QWidget* parent)
{
    if (openOverride()) return openOverride()(parent);
    const AppLanguage language = L10n::language();
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(L10n::text("Quorel presets", language) + QStringLiteral(" (*.quorelpreset *.json)"));
    dialog.setLabelText(QFileDialog::Accept, L10n::text("Import", language));
    FileDialogFolder::apply(dialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (!files.isEmpty()) FileDialogFolder::remember(files.constFirst());
    return files;
}

std::optional<QString> saveFile(QWidget* parent, const QString& fileName)
{
    if (saveOverride()) return saveOverride()(parent, fileName);
    const AppLanguage language = L10n::language();
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("quorelpreset"));
    dialog.setNameFilter(L10n::text("Quorel presets", language) + QStringLiteral(" (*.quorelpreset)"));
    dialog.setLabelText(QFileDialog::Accept, L10n::text("Export", language));
    FileDialogFolder::apply(dialog);
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    FileDialogFolder::remember(dialog.selectedFiles().constFirst());
    return dialog.selectedFiles().constFirst();
}

}  // namespace quorel::PresetFileDialogs
