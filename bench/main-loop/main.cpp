// Longest stall of the main loop (a 2 ms heartbeat timer) while SystemBoostEngine starts,
// stops, restarts, sleeps (stop, the default given back, then a start 0.8 s later as on wake)
// and quits (stop, at most 3 s for the default to come back, the engine destroyed). Prints one
// JSON object per phase. With --stop-session-manager PID the session manager is stopped
// (SIGSTOP) for each phase: before the start, and once the capture runs for the others.
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "SystemBoostEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace quorel;

namespace {

// The engine's teardown runs on its worker where it can (a newer engine); an older one has
// finished it when stop() returns.
template <typename Engine>
bool busy(const Engine& engine)
{
    if constexpr (requires(const Engine& e) { e.isBusy(); })
        return engine.isBusy();
    else
        return false;
}

class Heartbeat {
public:
    Heartbeat()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, since_.restart()); });
        timer_.start(2);
        reset();
    }
    void reset()
    {
        longest_ = 0;
        since_.start();
    }
    // Includes the time since the last tick.
    qint64 longestMS() const { return std::max(longest_, since_.elapsed()); }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 longest_ = 0;
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void spinUntil(const std::function<bool()>& done, int timeoutMS)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMS) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

struct Outcome {
    bool done = false;
    bool ok = false;
};

void start(SystemBoostEngine& engine, const std::shared_ptr<Outcome>& outcome)
{
    *outcome = Outcome();
    engine.start(DSPSettings(), true, std::nullopt,
                 [outcome](std::optional<SystemBoostEngine::Info> info, std::exception_ptr) {
                     outcome->done = true;
                     outcome->ok = info.has_value();
                 });
}

void report(const char* phase, qint64 longest, bool ok, bool stopped)
{
    const QJsonObject line{{"phase", phase},
                           {"longestStallMS", qint64(longest)},
                           {"ok", ok},
                           {"sessionManager", stopped ? "stopped" : "running"}};
    std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pid_t sessionManager = 0;
    const QStringList args = app.arguments();
    const int at = int(args.indexOf("--stop-session-manager"));
    if (at >= 0 && at + 1 < args.size()) sessionManager = pid_t(args[at + 1].toInt());
    const bool stopped = sessionManager > 0;

    auto engine =
        std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(), std::make_shared<PulseDevices>());
    spin(200);
    Heartbeat heartbeat;
    auto outcome = std::make_shared<Outcome>();
    // A running capture to begin a phase with; the session manager stopped (when asked) only
    // once it runs, so the phase meets a server whose session manager does not answer.
    const auto running = [&] {
        if (stopped) ::kill(sessionManager, SIGCONT);
        spin(300);
        if (!engine)
            engine = std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                         std::make_shared<PulseDevices>());
        start(*engine, outcome);
        spinUntil([&] { return outcome->done; }, 15000);
        spin(300);
        if (stopped) ::kill(sessionManager, SIGSTOP);
        spin(100);
        heartbeat.reset();
    };

    if (stopped) ::kill(sessionManager, SIGSTOP);
    heartbeat.reset();
    start(*engine, outcome);
    spinUntil([&] { return outcome->done; }, 15000);
    report("start", heartbeat.longestMS(), outcome->ok, stopped);
    spinUntil([&] { return !busy(*engine); }, 15000);

    running();
    engine->stop();
    spinUntil([&] { return !busy(*engine); }, 15000);
    report("stop", heartbeat.longestMS(), true, stopped);

    running();
    engine->stop();
    start(*engine, outcome);
    spinUntil([&] { return outcome->done; }, 15000);
    report("restart", heartbeat.longestMS(), outcome->ok, stopped);
    spinUntil([&] { return !busy(*engine); }, 15000);

    running();
    engine->stop();
    spinUntil([&] { return !busy(*engine); }, 15000);
    spin(800);
    start(*engine, outcome);
    spinUntil([&] { return outcome->done; }, 15000);
    report("sleep", heartbeat.longestMS(), outcome->ok, stopped);
    spinUntil([&] { return !busy(*engine); }, 15000);

    running();
    engine->stop();
    spinUntil([&] { return !busy(*engine); }, 3000);
    engine.reset();
    report("quit", heartbeat.longestMS(), true, stopped);

    if (stopped) ::kill(sessionManager, SIGCONT);
    return 0;
}
