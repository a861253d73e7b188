// Painting the equalizer's 31 compact vertical faders into an offscreen image, one frame per
// iteration, at device pixel ratio 1 and 2: once through the widgets (what a repaint of the page
// costs), once through the drawing functions alone.
#include "SliderPainter.h"
#include "Studio.h"
#include "StudioSlider.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QThreadPool>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int faderCount = 31;
constexpr QSize pageSize(31 * 28, 200);

void paintWidgets(benchmark::State& state)
{
    const qreal ratio = qreal(state.range(0));
    QWidget page;
    page.setAttribute(Qt::WA_DontShowOnScreen);
    auto* row = new QHBoxLayout(&page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < faderCount; ++i) {
        auto* fader = new quorel::StudioSlider(Qt::Vertical);
        fader->setValueRange(-12, 12);
        fader->setStep(0.5f);
        fader->setBipolar(true);
        fader->setCompact(true);
        fader->setValue(float((i % 9) - 4) * 2.5f);
        row->addWidget(fader);
    }
    page.resize(pageSize);
    page.show();
    QImage frame(pageSize * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        frame.fill(quorel::Studio::background());
        page.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.counters["faders/s"] =
        benchmark::Counter(double(state.iterations()) * faderCount, benchmark::Counter::kIsRate);
}

void paintFunctions(benchmark::State& state)
{
    const qreal ratio = qreal(state.range(0));
    QImage frame(pageSize * ratio, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(ratio);
    std::vector<quorel::SliderPaintState> faders(faderCount);
    for (int i = 0; i < faderCount; ++i) {
        auto& f = faders[size_t(i)];
        const double x = i * 28.0;
        f.bar = QRectF(x, 0.5, 28, 199);
        f.value = ((i % 9) - 4) * 2.5;
        f.lo = -12;
        f.hi = 12;
        f.vertical = f.bipolar = f.compact = true;
        const double y = 5.5 + 189 * (1 - (f.value - f.lo) / 24);
        f.knob = QRectF(x + 7, y - 5.5, 14, 11);
    }
    for (auto _ : state) {
        frame.fill(quorel::Studio::background());
        QPainter painter(&frame);
        for (const auto& f : faders) quorel::SliderPainter::draw(painter, f);
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.counters["faders/s"] =
        benchmark::Counter(double(state.iterations()) * faderCount, benchmark::Counter::kIsRate);
}

// The same frames with Qt's image thread pool held to one thread: on a busy machine handing small
// image jobs to other threads costs more than the painting itself.
void singleThreaded(benchmark::State& state, void (*paint)(benchmark::State&))
{
    QThreadPool* pool = QThreadPool::globalInstance();
    const int before = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    paint(state);
    pool->setMaxThreadCount(before);
}

BENCHMARK(paintWidgets)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(paintFunctions)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(singleThreaded, widgets, paintWidgets)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(singleThreaded, functions, paintFunctions)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
