#include "FileDialogFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace quorel::FileDialogFolder {

QString start(const UserDefaults& store)
{
    if (const std::optional<QString> last = store.string(QString::fromLatin1(key)); last && QFileInfo(*last).isDir())
        return *last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

void remember(const QString& file, UserDefaults store)
{
    if (file.isEmpty()) return;
    store.setString(QString::fromLatin1(key), QFileInfo(file).absolutePath());
}

void apply(QFileDialog& dialog, const UserDefaults& store) { dialog.setDirectory(start(store)); }

}  // namespace quorel::FileDialogFolder
