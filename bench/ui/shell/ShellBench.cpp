// Shell figures, offscreen:
//   BM_LaunchToWindow      the binary with --preview --log-stats, from spawn to its window-chrome line
//                          (printed as the window is made, just before its first show)
//   BM_FirstPaint          in process: root model, main window, show, until its first paint
//   BM_PanelSliderStep     one arrow-key step on a tray-panel slider until the repaint is done
//   BM_IdleCpu/hidden|shown 60 s of idle event loop with the window hidden or shown: CPU seconds
//                          used, and the paints that happened (hidden must paint nothing)
// Run: QT_QPA_PLATFORM=offscreen bench_shell [--benchmark_filter=...]

#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "MainWindow.h"
#include "MenuBarPanel.h"
#include "OnboardingState.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "ShortcutBackend.h"
#include "Studio.h"
#include "StudioSlider.h"
#include "UpdateChecker.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

using namespace quorel;

namespace {

// Counts paint events anywhere in the application.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<BoostModel> previewModel()
{
    BoostModel::Options options;
    options.system.preview = true;
    options.system.engineFactory = [] {
        return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                   std::make_shared<PulseDevices>());
    };
    options.system.sleepEvents = false;
    options.desktopServices = false;
    return std::make_unique<BoostModel>(std::move(options));
}

void BM_LaunchToWindow(benchmark::State& state)
{
    QTemporaryDir home;
    for (auto _ : state) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(QUOREL_BINARY, {"--preview", "--log-stats"});
        QByteArray output;
        while (!output.contains("window chrome:")) {
            if (!process.waitForReadyRead(10000)) {
                state.SkipWithError("no window-chrome line");
                break;
            }
            output += process.readAllStandardOutput();
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        process.terminate();
        process.waitForFinished(10000);
    }
}
BENCHMARK(BM_LaunchToWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FirstPaint(benchmark::State& state)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto model = previewModel();
        UpdateChecker updater;
        MainWindow window(*model, updater, false);
        PaintCounter counter;
        window.installEventFilter(&counter);
        window.show();
        while (counter.paints == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_FirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_PanelSliderStep(benchmark::State& state)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    auto model = previewModel();
    MenuBarPanel panel(*model);
    panel.show();
    QCoreApplication::processEvents();
    StudioSlider* slider = panel.slider(0);
    slider->setFocus();
    PaintCounter counter;
    slider->installEventFilter(&counter);
    bool up = true;
    for (auto _ : state) {
        const int before = counter.paints;
        QKeyEvent press(QEvent::KeyPress, up ? Qt::Key_Right : Qt::Key_Left, Qt::NoModifier);
        QApplication::sendEvent(slider, &press);
        while (counter.paints == before) QCoreApplication::processEvents();
        if (model->settings().boostDB >= 11.5f)
            up = false;
        else if (model->settings().boostDB <= 0.5f)
            up = true;
    }
}
BENCHMARK(BM_PanelSliderStep)->Unit(benchmark::kMicrosecond);

void BM_IdleCpu(benchmark::State& state)
{
    const bool shown = state.range(0) != 0;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    UserDefaults::standard().setBoolean(OnboardingState::key, true);
    auto model = previewModel();
    UpdateChecker updater;
    MainWindow window(*model, updater, false);
    window.show();
    QCoreApplication::processEvents();
    if (!shown) window.hide();
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["cpu_s"] = cpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * (cpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
        state.counters["paints"] = counter.paints;
    }
    qApp->removeEventFilter(&counter);
}
BENCHMARK(BM_IdleCpu)->Arg(0)->Arg(1)->ArgNames({"shown"})->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    QApplication app(argc, argv);
    Studio::install(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
