#include "DesignCommands.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    if (quorel::DesignCommands::wanted(argc, argv)) {
        QApplication app(argc, argv);
        return *quorel::DesignCommands::run(app.arguments());
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Quorel");
    QCoreApplication::setApplicationName("Quorel");
    QCoreApplication::setApplicationVersion(QUOREL_VERSION);
    const QStringList args = app.arguments();
    if (args.contains("--version") || args.size() == 1) {
        std::printf("Quorel %s (build %s)\n", QUOREL_VERSION, QUOREL_BUILD_NUMBER);
        if (args.size() == 1)
            std::printf("The audio processing window is not part of this build yet.\n");
        return 0;
    }
    std::fprintf(stderr, "Unknown option. Use --version.\n");
    return 1;
}
