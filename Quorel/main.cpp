#include "DesignCommands.h"
#include "L10n.h"
#include "QuorelApp.h"
#include "SingleInstance.h"
#include "StartupOptions.h"
#include "Studio.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    // Answered before the application connects to a display, so it works on a server or in a script.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (quorel::StartupOptions::asksForHelp(arguments)) {
        std::fputs(quorel::StartupOptions::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (quorel::StartupOptions::asksForVersion(arguments)) {
        std::printf("Quorel %s (build %s)\n", QUOREL_VERSION, QUOREL_BUILD_NUMBER);
        return 0;
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorel"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOREL_VERSION));
    // The application id: desktops match the window to app.quorel.Quorel.desktop and its icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("app.quorel.Quorel"));

    const quorel::StartupOptions options = quorel::StartupOptions::parse(app.arguments());

    // Two instances must never both drive the audio: a launch hands its URLs (or a request to
    // come forward) to the running one, unless it is a design preview or a self-check.
    quorel::SingleInstance instance;
    if (!options.standsAlone() && instance.claim() == quorel::SingleInstance::Role::Secondary) {
        // The glyph needs no audio: written here, by this launch alone.
        const bool exported = options.exportGlyphPath && quorel::DesignCommands::exportGlyph(*options.exportGlyphPath);
        if (options.describesItsOwnProcess()) {
            const QString message = quorel::L10n::text(
                "Quorel is already running. --snapshot and --log-stats apply only to the process started with them.",
                quorel::L10n::language());
            std::fprintf(stderr, "%s\n", message.toUtf8().constData());
            return 1;
        }
        if (options.exportGlyphPath && options.urls.isEmpty()) return exported ? 0 : 1;
        QStringList uris;
        for (const QUrl& url : options.urls) uris << url.toString();
        if (instance.handOff(uris)) return 0;
        std::fprintf(stderr, "Quorel: could not reach the running instance: %s\n", qPrintable(instance.errorMessage()));
        return 1;
    }

    quorel::Studio::install(app);
    quorel::QuorelApp quorel(options, instance.role() == quorel::SingleInstance::Role::Primary ? &instance : nullptr);
    quorel.installSignalHandlers();
    quorel.showWindow();
    return app.exec();
}
