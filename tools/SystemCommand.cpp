// quorel-tool system: runs the engine controller as the application does and switches
// processing on. Prints a line at each change of its state, one line of meters and counters a
// second, and after N seconds (or SIGINT/SIGTERM) stops as quitting does: the stored on/off
// choice stays as it was.
#include "MeterJson.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "Subcommand.h"

#include "RunArguments.h"
#include "StopSignals.h"
#include "SystemModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonValue>
#include <QTimer>

#include <algorithm>

namespace {

using namespace quorel;

QJsonObject metersJson(const SystemModel::Meters& m)
{
    return QJsonObject{
        {"inputDB", double(m.inputDB)},
        {"outputDB", double(m.outputDB)},
        {"limiterDB", double(m.limiterDB)},
        {"levelerLoudness", double(m.levelerLoudness)},
        {"levelerGain", double(m.levelerGain)},
        {"levelerMeasuring", m.levelerMeasuring},
        {"driveActivity", double(m.driveActivity)},
    };
}

QJsonObject stateJson(const SystemModel& model)
{
    const std::optional<QString> error = model.error();
    const auto& info = model.info();
    return QJsonObject{
        {"isActive", model.isActive()},
        {"status", model.status().text()},
        {"error", error ? QJsonValue(*error) : QJsonValue()},
        {"waitingForAudio", model.waitingForAudio()},
        {"needsPermission", model.needsPermission()},
        {"canRestartAudioService", model.canRestartAudioService()},
        {"device", info ? QJsonValue(info->deviceName) : QJsonValue()},
        {"effectsLatencyMS", info ? QJsonValue(info->effectsLatencyMS) : QJsonValue()},
    };
}

constexpr const char* usage = "system --seconds N [--output UID] [--preview] [--no-prime]";

int runSystem(const QStringList& args)
{
    tool::RunArguments arguments("system", usage, {QCommandLineOption("preview"), QCommandLineOption("no-prime")});
    if (const std::optional<int> status = arguments.read(args)) return *status;
    const double seconds = arguments.seconds();
    const std::optional<QString> output = arguments.output();
    SystemModel::Options options;
    options.engineFactory = [] {
        return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                   std::make_shared<PulseDevices>());
    };
    options.preview = arguments.isSet("preview");
    options.noPrime = arguments.isSet("no-prime");

    tool::StopSignals stopSignals;

    QElapsedTimer clock;
    clock.start();
    const auto elapsed = [&] { return double(clock.elapsed()) / 1000; };
    SystemModel model(options);
    // One line per change, once the model's step that made it is complete.
    QJsonObject last;
    auto printChange = [&] {
        const QJsonObject state = stateJson(model);
        if (state == last) return;
        last = state;
        QJsonObject line = state;
        line["t"] = elapsed();
        tool::printJson(line);
    };
    bool pending = false;
    auto changed = [&] {
        if (pending) return;
        pending = true;
        QTimer::singleShot(0, [&] {
            pending = false;
            printChange();
        });
    };
    for (auto signal : {&SystemModel::activeChanged, &SystemModel::statusChanged, &SystemModel::errorChanged,
                        &SystemModel::flagsChanged, &SystemModel::infoChanged})
        QObject::connect(&model, signal, changed);
    printChange();
    if (output) model.setOutputDevice(*output);
    model.setActive(true);

    // A line a second; the loop sleeps in between, until the time is up or a signal came.
    QEventLoop loop;
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, [&] {
        tool::printJson(QJsonObject{
            {"t", elapsed()}, {"meters", metersJson(model.meters())}, {"stats", tool::statsJson(model.stats())}});
    });
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    stopSignals.setOnStop([&] { loop.quit(); });
    if (!stopSignals.requested()) {
        report.start(1000);
        end.start(int(std::min(std::max(seconds - elapsed(), 0.0) * 1000, 2e9)));
        loop.exec();
    }
    report.stop();
    end.stop();
    stopSignals.setOnStop(nullptr);
    printChange();
    model.shutdown();
    printChange();
    QJsonObject final = stateJson(model);
    final["t"] = elapsed();
    final["meters"] = metersJson(model.meters());
    final["stats"] = tool::statsJson(model.stats());
    final["final"] = true;
    tool::printJson(final);
    return 0;
}

const quorel::tool::Registration reg{{"system", usage, &runSystem}};

}  // namespace
