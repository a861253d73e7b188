// What the Boost page costs to draw: the level monitor while its bars ease (the repaint that
// runs at 60 Hz between two readings: both bars; and the whole card for comparison) and the
// Boost card when a reading arrives (the labels that change, and the whole card). The models
// run in their design preview, so nothing plays; CPU time per repaint is what to read.
#include "AutomationModel.h"
#include "BoostDial.h"
#include "BoostModel.h"
#include "FrontApplicationSource.h"
#include "ShortcutBackend.h"
#include "BoostPanel.h"
#include "LevelMeter.h"
#include "MonitorPanel.h"
#include "PipeWireAudioBackend.h"
#include "PulseDevices.h"
#include "ReduceMotion.h"
#include "StatusDot.h"
#include "Studio.h"
#include "SystemModel.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace quorel;

struct Models {
    QTemporaryDir home;
    std::unique_ptr<BoostModel> model;
    Models()
    {
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        BoostModel::Options options;
        options.store = UserDefaults::standard();
        options.desktopServices = false;
        options.system.preview = true;
        options.system.engineFactory = [] {
            return std::make_unique<SystemBoostEngine>(std::make_shared<PipeWireAudioBackend>(),
                                                       std::make_shared<PulseDevices>());
        };
        options.system.followVolume = false;
        options.system.sleepEvents = false;
        options.system.canOpenSoundSettings = false;
        model = std::make_unique<BoostModel>(std::move(options));
    }
};

// A card shown offscreen at the page's width.
template <typename Card>
struct Shown {
    QWidget host;
    Card* card;
    template <typename... Args>
    explicit Shown(Args&&... args)
    {
        host.setAttribute(Qt::WA_DontShowOnScreen);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        card = new Card(std::forward<Args>(args)...);
        layout->addWidget(card);
        host.resize(800, host.sizeHint().height());
        host.show();
        QApplication::processEvents();
    }
};

void render(QWidget* widget, QImage& frame, const QRegion& region)
{
    widget->render(&frame, widget->mapTo(widget->window(), QPoint()), region);
}

// Both bars of the monitor mid-way through an easing (what each 60 Hz frame repaints).
void MonitorBarsWhileEasing(benchmark::State& state)
{
    Models models;
    ReduceMotion::shared().set(false);
    Shown<MonitorPanel> shown(*models.model);
    LevelMeter* meters[] = {shown.card->inputMeter(), shown.card->outputMeter()};
    QImage frame(shown.host.size() * qreal(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(qreal(state.range(0)));
    bool loud = false;
    for (auto _ : state) {
        state.PauseTiming();
        loud = !loud;
        for (LevelMeter* meter : meters) meter->setLevel(loud ? -3 : -30, loud ? "-3.0" : "-30.0");
        state.ResumeTiming();
        for (LevelMeter* meter : meters) render(meter, frame, QRegion(meter->barRect().toAlignedRect()));
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// The whole monitor card, as a full repaint would draw it.
void MonitorCardWhole(benchmark::State& state)
{
    Models models;
    Shown<MonitorPanel> shown(*models.model);
    QImage frame(shown.host.size() * qreal(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(qreal(state.range(0)));
    for (auto _ : state) {
        shown.host.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// A reading reaches the Boost card: the card refreshes the Drive dot and the leveler readout
// and repaints what changed (the readout label and the dot).
void BoostCardOnAReading(benchmark::State& state)
{
    Models models;
    models.model->change([](DSPSettings& s) {
        s.levelerStrength = 0.5f;
        s.driveAmount = 1;
    });
    models.model->system().setActive(true);
    Shown<BoostPanel> shown(*models.model, models.model->system());
    QImage frame(shown.host.size() * qreal(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(qreal(state.range(0)));
    QWidget* changed[] = {shown.card->levelerReadout(), shown.card->driveDot()};
    for (auto _ : state) {
        shown.card->refreshReadings();
        for (QWidget* widget : changed) render(widget, frame, QRegion(widget->rect()));
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// The whole Boost card (dial, three sliders, switch), as a full repaint would draw it.
void BoostCardWhole(benchmark::State& state)
{
    Models models;
    Shown<BoostPanel> shown(*models.model, models.model->system());
    QImage frame(shown.host.size() * qreal(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(qreal(state.range(0)));
    for (auto _ : state) {
        shown.host.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

// The Boost dial alone (gauge and control row).
void BoostDialWhole(benchmark::State& state)
{
    Shown<BoostDial> shown(164);
    shown.card->setValue(6.5f);
    QImage frame(shown.host.size() * qreal(state.range(0)), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(qreal(state.range(0)));
    for (auto _ : state) {
        shown.host.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}

BENCHMARK(BoostDialWhole)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(MonitorBarsWhileEasing)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(MonitorCardWhole)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BoostCardOnAReading)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BoostCardWhole)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    quorel::Studio::install(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
