// The entry: one instance per session, the root model, URLs and files handed to it, the
// start-up steps that need no window, and a quit that always stops processing cleanly.
#include "BoostModel.h"
#include "DesignCommands.h"
#include "SingleInstance.h"
#include "SystemModel.h"
#include "UpdateChecker.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// The arguments that are URLs or files: not options, nor the values of the options that take one.
QStringList openedArguments(const QStringList& arguments)
{
    static const QStringList takesValue{"--log-stats", "--export-glyph", "--snapshot"};
    QStringList opened;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (takesValue.contains(argument)) {
            ++i;
            continue;
        }
        if (argument.startsWith(u'-')) continue;
        opened.append(argument);
    }
    return opened;
}

}  // namespace

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
    if (args.contains("--version")) {
        std::printf("Quorel %s (build %s)\n", QUOREL_VERSION, QUOREL_BUILD_NUMBER);
        return 0;
    }
    const QStringList uris = quorel::SingleInstance::urisFromArguments(openedArguments(args), QDir::currentPath());

    quorel::SingleInstance instance;
    if (instance.claim() == quorel::SingleInstance::Role::Secondary) {
        if (instance.handOff(uris)) return 0;
        std::fprintf(stderr, "Quorel: the running instance did not answer: %s\n",
                     instance.errorMessage().toLocal8Bit().constData());
        return 1;
    }

    const bool preview = args.contains("--preview");
    quorel::BoostModel::Options options;
    options.system.preview = preview;
    options.system.noPrime = args.contains("--no-prime");
    quorel::BoostModel model(std::move(options));
    quorel::SystemModel& system = model.system();

    // Quitting stops processing but keeps the stored on/off choice (so it resumes at login).
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &system, [&system] { system.shutdown(); });
    if (::pipe(signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&system] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
            system.shutdown();
            QCoreApplication::quit();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }

    QObject::connect(&instance, &quorel::SingleInstance::openRequested, &model, [&model](const QStringList& opened) {
        for (const QString& uri : opened) model.handle(uri);
    });

    // Processing resumes 0.6 s after start when asked ("--system") or when it was on before,
    // unless something opened in the meantime changed the choice.
    const QString activeKey = QString::fromLatin1(quorel::SystemModel::activeKey);
    const std::optional<bool> choiceAtStart = model.store().boolean(activeKey);
    for (const QString& uri : uris) model.handle(uri);
    const bool resume = args.contains("--system") || choiceAtStart == true;
    QTimer::singleShot(600, &model, [&model, activeKey, choiceAtStart, resume] {
        if (model.store().boolean(activeKey) != choiceAtStart) return;
        if (resume && !model.system().isActive()) model.system().setActive(true);
    });
    if (!preview) QTimer::singleShot(10000, &model, [&model] { model.updater().checkIfDue(); });

    return app.exec();
}
