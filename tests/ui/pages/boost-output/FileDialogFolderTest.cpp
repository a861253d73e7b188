// The file dialogs open in the documents folder (else home), never in the process's working
// folder, and then in the folder of the last file chosen, remembered in the settings store.
#include "FileDialogFolder.h"
#include "PanelsTest.h"
#include "PresetFileDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

using namespace quorel;
using namespace quorel::test;

namespace {

class FileDialogs : public PanelsTest {
protected:
    void SetUp() override { store.remove(QString::fromLatin1(FileDialogFolder::key)); }
    void TearDown() override { store.remove(QString::fromLatin1(FileDialogFolder::key)); }

    // Opens the preset import dialog, notes the folder it shows, and chooses `file` (none: cancels).
    QString openAndChoose(const QString& file)
    {
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(dialog);
            shown = QDir(dialog->directory()).canonicalPath();
            if (file.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(file);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const QStringList chosen = PresetFileDialogs::openFiles(nullptr);
        if (!file.isEmpty()) {
            EXPECT_EQ(chosen, QStringList{file});
        }
        return shown;
    }
};

TEST_F(FileDialogs, OpenInDocumentsThenInTheLastFolderUsed)
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString expected = QDir(QFileInfo(documents).isDir() ? documents : QDir::homePath()).canonicalPath();
    QTemporaryDir elsewhere;
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));  // a working folder that is neither
    EXPECT_EQ(openAndChoose({}), expected);

    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath("night.quorelpreset");
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_EQ(openAndChoose(file), expected);
    EXPECT_EQ(openAndChoose({}), QDir(folder.path()).canonicalPath()) << "the last folder used";
    EXPECT_EQ(store.string(QString::fromLatin1(FileDialogFolder::key)), folder.path());

    // A remembered folder that went away is passed over.
    folder.remove();
    EXPECT_EQ(openAndChoose({}), expected);
    QDir::setCurrent(working);
}

}  // namespace
