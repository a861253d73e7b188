// Writes the application's colour icon, drawn by Brand::renderColourIcon, into a folder:
//   FOLDER/Quorel-Icon.png                      1024 x 1024, compiled into the application
//   FOLDER/hicolor/NxN/apps/quorel.png          N = 48, 64, 128, 256, 512, installed for desktops
#include "Brand.h"
#include "UserFile.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorel-icon FOLDER\n");
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    auto write = [&](const QString& relative, int pixels) {
        const QString path = folder.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        if (const std::optional<quorel::LocalizedMessage> refused = quorel::UserFile::refusedTarget(path)) {
            std::fprintf(stderr, "%s\n", qPrintable(refused->localized(quorel::AppLanguage::english)));
            return false;
        }
        if (!quorel::Brand::renderColourIcon(pixels).save(path, "PNG")) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    bool ok = write(QStringLiteral("Quorel-Icon.png"), 1024);
    for (int px : {48, 64, 128, 256, 512})
        ok = write(QStringLiteral("hicolor/%1x%1/apps/quorel.png").arg(px), px) && ok;
    return ok ? 0 : 1;
}
