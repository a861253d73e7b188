// CPU time of the Equalizer page's live drawing, per frame: the fader area (spectrum bars, the
// cached curve layer and the 31 cached faders) after one spectrum tick, the same with every
// cache thrown away (what a plain antialiased repaint costs), and the response curve alone.
#include "BoostModel.h"
#include "CapturePrimer.h"
#include "EngineChain.h"
#include "EqualizerFader.h"
#include "EqualizerPanel.h"
#include "EqualizerResponse.h"
#include "EqualizerSpectrum.h"
#include "FakeAudioDevices.h"
#include "SimulatedAudioBackend.h"
#include "SpectrumModel.h"
#include "Studio.h"
#include "SystemBoostEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

using namespace quorel;

namespace {

SpectrumReading reading(int frame)
{
    SpectrumReading r{true, std::vector<float>(31), std::vector<float>(31)};
    for (int i = 0; i < 31; ++i) {
        const double dB = -14 - i * 1.1 - 6 * std::sin(i * 0.9 + frame * 0.3);
        r.input[size_t(i)] = float(std::pow(10.0, dB / 20));
        r.output[size_t(i)] = float(std::pow(10.0, (dB + 3) / 20));
    }
    return r;
}

class ReadingChain : public EngineChain {
public:
    explicit ReadingChain(InputBlock input) : input_(std::move(input)) {}
    void apply(const DSPSettings&) override {}
    void setPathGains(float, float) override {}
    void prepare() override {}
    void start() override {}
    void stop() override {}
    Status render(uint32_t, AudioBufferList&) override { return status::ok; }
    MeterReading meter() override { return {}; }
    SpectrumReading spectrum() override { return reading(++frame_); }
    double reportedLatency() const override { return 0; }

private:
    InputBlock input_;
    int frame_ = 0;
};

// A running root model on the simulated sound system, an equalizer card at page width.
struct LivePage {
    QTemporaryDir home;
    std::shared_ptr<test::SimulatedAudioBackend> backend = std::make_shared<test::SimulatedAudioBackend>();
    std::unique_ptr<BoostModel> model;
    std::unique_ptr<EqualizerPanel> panel;

    LivePage()
    {
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        BoostModel::Options options;
        options.system.engineFactory = [this] {
            return std::make_unique<SystemBoostEngine>(backend, std::make_shared<test::FakeAudioDevices>(),
                                                       [](uint32_t, double, EngineChain::InputBlock input) {
                                                           return std::make_unique<ReadingChain>(std::move(input));
                                                       });
        };
        CapturePrimer::Options primer;
        primer.player = home.path() + "/none";
        primer.directory = home.path();
        options.system.primer = std::make_shared<CapturePrimer>(primer);
        options.system.outputDevices = [] {
            return std::vector<AudioDevices::OutputDevice>{{10, "speakers", "Speakers", 2, true}};
        };
        options.system.followVolume = false;
        options.system.sleepEvents = false;
        options.system.canOpenSoundSettings = false;
        options.desktopServices = false;
        model = std::make_unique<BoostModel>(std::move(options));
        model->apply(SoundPreset::customNamed("Bench", [] {
            DSPSettings s;
            for (int i = 0; i < 31; ++i) s.bands[size_t(i)] = float((i * 7) % 25 - 12);
            return s;
        }()));
        model->system().setActive(true);
        QElapsedTimer waited;
        waited.start();
        while (!model->system().info() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        panel = std::make_unique<EqualizerPanel>(*model);
        panel->setAttribute(Qt::WA_DontShowOnScreen);
        panel->resize(772, 300);
        panel->show();
        QCoreApplication::processEvents();
    }
    ~LivePage()
    {
        panel.reset();
        model->system().setActive(false);
        QElapsedTimer waited;
        waited.start();
        while (model->system().isEngineBusy() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
};

void paintFrames(benchmark::State& state, bool cached)
{
    const qreal ratio = qreal(state.range(0));
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    LivePage page;
    QWidget* area = page.panel->faderArea();
    QImage frame(area->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    int n = 0;
    for (auto _ : state) {
        page.panel->spectrumModel().tick();
        if (!cached) {
            // What a repaint costs without the caches: curve and every fader drawn anew.
            const float nudge = (++n % 2) ? 0.5f : 0.0f;
            std::vector<float> bands = page.model->settings().bands;
            bands[0] += nudge;
            page.panel->spectrumView()->setBands(bands);
            for (int i = 0; i < 31; ++i) page.panel->fader(i)->setValue(bands[size_t(i)] + nudge / 4);
        }
        frame.fill(Studio::panel());
        area->render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    if (!page.panel->spectrumModel().live()) state.SkipWithError("the spectrum never went live");
}

void liveRender(benchmark::State& state) { paintFrames(state, true); }

// What one tick costs on screen: the spectrum's region repainted through the backing store,
// with the faders in front of it (at the screen's pixel ratio).
void liveRepaint(benchmark::State& state)
{
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    LivePage page;
    for (auto _ : state) {
        page.panel->spectrumModel().tick();
        page.panel->spectrumView()->repaint();
    }
    if (!page.panel->spectrumModel().live()) state.SkipWithError("the spectrum never went live");
}
void uncachedRepaint(benchmark::State& state) { paintFrames(state, false); }

void curve(benchmark::State& state)
{
    std::vector<float> bands(31);
    for (int i = 0; i < 31; ++i) bands[size_t(i)] = float((i * 7) % 25 - 12);
    for (auto _ : state) benchmark::DoNotOptimize(EqualizerResponse::curve(bands, 48000, 128));
}

BENCHMARK(liveRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(liveRender)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(uncachedRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(curve)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Studio::install(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
