// quorel-tool capture: processes the system's audio like the application does, for N seconds.
// Prints the running capture's Info, then one line per second with the statistics and the
// meter, then stops in order. SIGINT and SIGTERM stop it early, just as cleanly.
#include "MeterJson.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "Subcommand.h"

#include "RunArguments.h"
#include "SettingsArgument.h"
#include "StopSignals.h"
#include "SystemBoostEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonValue>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace {

using namespace quorel;

QJsonObject infoJson(const SystemBoostEngine::Info& info)
{
    return QJsonObject{
        {"deviceName", info.deviceName},
        {"capturedDeviceName", info.capturedDeviceName ? QJsonValue(*info.capturedDeviceName) : QJsonValue()},
        {"sampleRate", info.sampleRate},
        {"bufferFrames", qint64(info.bufferFrames)},
        {"bufferMS", info.bufferMS()},
        {"inputChannels", info.inputChannels},
        {"outputChannels", info.outputChannels},
        {"reportedDeviceLatencyMS", info.reportedDeviceLatencyMS},
        {"effectsLatencyMS", info.effectsLatencyMS},
        {"realtime", info.realtime},
    };
}

QJsonObject reading(SystemBoostEngine& engine, double elapsed)
{
    QJsonObject line{{"elapsed", elapsed}, {"stats", tool::statsJson(engine.stats())}};
    const std::optional<MeterReading> meter = engine.meter();
    line["meter"] = meter ? QJsonValue(tool::meterJson(*meter)) : QJsonValue();
    const std::optional<bool> running = engine.isSourceRunningSomewhere();
    line["sourceRunning"] = running ? QJsonValue(*running) : QJsonValue();
    return line;
}

constexpr const char* usage = "capture --seconds N [--settings FILE|JSON] [--output UID] [--unprocessed]";

int runCapture(const QStringList& args)
{
    tool::RunArguments arguments(
        "capture", usage, {QCommandLineOption("settings", QString(), "FILE|JSON"), QCommandLineOption("unprocessed")});
    if (const std::optional<int> status = arguments.read(args)) return *status;
    DSPSettings settings;
    try {
        for (const QString& value : arguments.values("settings")) settings = tool::settingsArgument(value);
    } catch (const std::exception& error) {
        return tool::fail(QString::fromUtf8(error.what()));
    }
    const double seconds = arguments.seconds();
    const std::optional<QString> output = arguments.output();
    const bool processed = !arguments.isSet("unprocessed");

    tool::StopSignals stopSignals;
    SystemBoostEngine engine(std::make_shared<PipeWireAudioBackend>(), std::make_shared<PulseDevices>());
    engine.onDefaultDeviceChange = [] { tool::printJson(QJsonObject{{"event", "defaultDeviceChange"}}); };
    try {
        const SystemBoostEngine::Info info = engine.startAndWait(settings, processed, output);
        tool::printJson(QJsonObject{{"info", infoJson(info)}});
    } catch (const DescribedError& error) {
        return tool::fail(error.description());
    } catch (const std::exception& error) {
        return tool::fail(QString::fromUtf8(error.what()));
    }

    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    // Processing ended under us (the engine has stopped and given the default back).
    std::optional<QString> failure;
    engine.onFailure = [&](const SystemBoostEngine::Failure& error) {
        failure = error.description();
        loop.quit();
    };
    // A line a second, the last one when the time is up or a signal came: the loop sleeps
    // in between.
    const auto finish = [&] {
        QJsonObject last = reading(engine, double(clock.elapsed()) / 1000);
        last["final"] = true;
        tool::printJson(last);
        loop.quit();
    };
    QTimer report;
    QObject::connect(&report, &QTimer::timeout,
                     [&] { tool::printJson(reading(engine, double(clock.elapsed()) / 1000)); });
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, finish);
    stopSignals.setOnStop(finish);
    if (stopSignals.requested()) {
        finish();
    } else {
        report.start(1000);
        end.start(int(std::min(seconds * 1000, 2e9)));
        loop.exec();
    }
    report.stop();
    end.stop();
    stopSignals.setOnStop(nullptr);
    engine.stop();
    if (failure) return tool::fail(*failure);
    return 0;
}

const quorel::tool::Registration reg{{"capture", usage, &runCapture}};

}  // namespace
