// Longest stall of the main loop (a 2 ms heartbeat timer) while the app's SystemModel is made
// (its volume controller and device list read at once), then how long until the output devices
// are listed. With --stop-session-manager PID the session manager is stopped (SIGSTOP) before
// the model is made and let go on (SIGCONT) a second later. Prints one JSON object.
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "SystemModel.h"
#include "SystemVolumeController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace quorel;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf("--stop-session-manager"));
    const pid_t sessionManager = at >= 0 && at + 1 < args.size() ? pid_t(args[at + 1].toLongLong()) : 0;
    if (sessionManager > 0) ::kill(sessionManager, SIGSTOP);

    QElapsedTimer since;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = std::max(longest, since.restart()); });

    std::unique_ptr<SystemModel> model;
    qint64 listedAfter = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] {
        heartbeat.start(2);
        since.start();
        SystemModel::Options options;
        options.engineFactory = [] {
            return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                       std::make_shared<PulseDevices>());
        };
        options.sleepEvents = false;
        options.noPrime = true;
        model = std::make_unique<SystemModel>(std::move(options));
        longest = std::max(longest, since.elapsed());
        QObject::connect(model.get(), &SystemModel::outputDevicesChanged, [&] {
            if (listedAfter < 0 && !model->outputDevices().empty()) listedAfter = clock.elapsed();
        });
        if (!model->outputDevices().empty()) listedAfter = clock.elapsed();
    });
    if (sessionManager > 0) QTimer::singleShot(1000, [&] { ::kill(sessionManager, SIGCONT); });
    QTimer::singleShot(8000, &app, &QCoreApplication::quit);
    app.exec();
    if (sessionManager > 0) ::kill(sessionManager, SIGCONT);

    const QJsonObject result{
        {"phase", sessionManager > 0 ? "model start, session manager stopped for 1 s" : "model start"},
        {"longestStallMS", longest},
        {"devicesListedAfterMS", listedAfter},
        {"volumeFailure",
         model && model->volume() && model->volume()->failure() ? *model->volume()->failure() : QString()}};
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    model.reset();
    return 0;
}
